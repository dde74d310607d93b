// SPDX-License-Identifier: GPL-2.0-or-later
// The image button of nearly every window: a label showing one of up to
// three pictures, with an optional text above it. A press may drag the
// window; only a release close to the press point is a click.
#pragma once

#include "buttonpress.h"

#include <QLabel>
#include <QString>

class UiFreeWindow;

class UiCustomButton : public QLabel {
    Q_OBJECT
public:
    explicit UiCustomButton(QWidget *parent = nullptr);
    ~UiCustomButton() override;

    virtual void setWindow(UiFreeWindow *pWindow);
    virtual void emitClicked();

    void setToolTipText(const QString &pText);
    QString toolTipText() const { return m_toolTipText; }
    void setFontColor(const QString &pColor);
    // Shows UiFreeWindow::tr(pText) above the picture.
    void setButtonText(const QString &pText);
    QString buttonText() const;
    void setFontSize(int pPixels);
    void setTextAlignment(Qt::Alignment pAlignment);

    // Shows pPath, rendered at the button's present size.
    void setImage(const QString &pPath);
    // The first picture; shown too while nothing is shown yet.
    void setBackgroundImage(const QString &pPath);
    void setBackgroundImage2(const QString &pPath);
    void setBackgroundImage3(const QString &pPath);
    QString currentImage() const { return m_currentImage; }
    QString backgroundImage() const { return m_backgroundImage; }
    QString backgroundImage2() const { return m_backgroundImage2; }
    QString backgroundImage3() const { return m_backgroundImage3; }

    void setHandCursor(bool pHandCursor);
    bool hasHandCursor() const { return m_handCursor; }

    void layoutTextLabel();
    QLabel *textLabel() const { return m_textLabel; }

signals:
    void clicked();

protected slots:
    void mousePressEvent(QMouseEvent *pEvent) override;
    void mouseMoveEvent(QMouseEvent *pEvent) override;
    void mouseReleaseEvent(QMouseEvent *pEvent) override;
    void showToolTip();
    void updateStyle();

protected:
    void enterEvent(QEvent *pEvent) override;
    void leaveEvent(QEvent *pEvent) override;

private:
    QString m_currentImage;
    QString m_fontColor;
    UiFreeWindow *m_window = nullptr;
    ButtonPress m_press;
    bool m_hovering = false;
    bool m_overrideCursorPushed = false;
    bool m_handCursor = true;
    QString m_backgroundImage;
    QString m_backgroundImage2;
    QString m_backgroundImage3;
    QString m_toolTipText;
    QLabel *m_textLabel;
};
