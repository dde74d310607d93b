// SPDX-License-Identifier: GPL-2.0-or-later
// A large button with a picture on the left, a title and a description
// (window description kind "ButtonWithLabel"). Presses drag the window like
// those of UiCustomButton; clicks count only while it is clickable.
#pragma once

#include "buttonpress.h"

#include <QLabel>
#include <QString>

class UiFreeWindow;

class UiConfigButton : public QLabel {
    Q_OBJECT
public:
    explicit UiConfigButton(QWidget *parent = nullptr);
    ~UiConfigButton() override;

    virtual void emitClicked();

    void setTitle(const QString &pText);
    QString title() const { return m_title; }
    void setDescription(const QString &pText);
    QString description() const { return m_description; }
    // Loads pPath at its own size (vector art included) into the picture.
    void setImage(const QString &pPath);
    void setImageSize(int pWidth, int pHeight);
    void setTitleMarginLeft(int pMargin);
    void setTitleMarginTop(int pMargin);
    void setDescriptionMarginLeft(int pMargin);
    void setDescriptionMarginTop(int pMargin);
    void setTitleFontSize(int pPoints);
    void setDescriptionFontSize(int pPoints);
    void setTitleFontColor(const QString &pColor);
    void setDescriptionFontColor(const QString &pColor);
    void setClickable(bool pClickable);
    bool isClickable() const { return m_clickable; }
    void setWindow(UiFreeWindow *pWindow);

    QLabel *pictureLabel() const { return m_pictureLabel; }
    QLabel *titleLabel() const { return m_titleLabel; }
    QLabel *descriptionLabel() const { return m_descriptionLabel; }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *pEvent) override;
    void mouseReleaseEvent(QMouseEvent *pEvent) override;
    void mouseMoveEvent(QMouseEvent *pEvent) override;
    void enterEvent(QEvent *pEvent) override;
    void leaveEvent(QEvent *pEvent) override;
    void resizeEvent(QResizeEvent *pEvent) override;

private:
    void updateLayout();

    QString m_title;
    QString m_description;
    QLabel *m_pictureLabel;
    QLabel *m_titleLabel;
    QLabel *m_descriptionLabel;
    UiFreeWindow *m_window = nullptr;
    ButtonPress m_press;
    int m_imageWidth = 0;
    int m_imageHeight = 0;
    int m_titleMarginLeft = 0;
    int m_titleMarginTop = 0;
    int m_descriptionMarginLeft = 0;
    int m_descriptionMarginTop = 0;
    int m_titleFontSize = 15;
    int m_descriptionFontSize = 10;
    QString m_titleFontColor;
    QString m_descriptionFontColor;
    bool m_clickable = true;
    bool m_overrideCursorPushed = false;
};
