// SPDX-License-Identifier: GPL-2.0-or-later
#include "uiconfigbutton.h"

#include "uifreewindow.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPixmap>

namespace {

QString colorStyle(const QString &pColor)
{
    return QStringLiteral("QLabel { color : ") + pColor + QStringLiteral("; background-image: none;  }");
}

void setPointSize(QLabel *pLabel, int pPoints, bool pAntialias)
{
    QFont font = pLabel->font();
    if (pPoints > 0)
        font.setPointSize(pPoints);
    if (pAntialias)
        font.setStyleStrategy(QFont::PreferAntialias);
    pLabel->setFont(font);
}
} // namespace

UiConfigButton::UiConfigButton(QWidget *parent)
    : QLabel(parent), m_pictureLabel(new QLabel(this)), m_titleLabel(new QLabel(this)),
      m_descriptionLabel(new QLabel(this))
{
    m_pictureLabel->setScaledContents(true);
    updateLayout();
}

UiConfigButton::~UiConfigButton()
{
    if (m_overrideCursorPushed)
        QGuiApplication::restoreOverrideCursor();
}

void UiConfigButton::emitClicked()
{
    if (m_clickable)
        emit clicked();
}

void UiConfigButton::setTitle(const QString &pText)
{
    m_title = pText;
    updateLayout();
}

void UiConfigButton::setDescription(const QString &pText)
{
    m_description = pText;
    updateLayout();
}

void UiConfigButton::setImage(const QString &pPath)
{
    m_pictureLabel->setPixmap(pPath.isEmpty() ? QPixmap() : QPixmap(pPath));
}

void UiConfigButton::setImageSize(int pWidth, int pHeight)
{
    m_imageWidth = pWidth;
    m_imageHeight = pHeight;
    updateLayout();
}

void UiConfigButton::setTitleMarginLeft(int pMargin)
{
    m_titleMarginLeft = pMargin;
    updateLayout();
}

void UiConfigButton::setTitleMarginTop(int pMargin)
{
    m_titleMarginTop = pMargin;
    updateLayout();
}

void UiConfigButton::setDescriptionMarginLeft(int pMargin)
{
    m_descriptionMarginLeft = pMargin;
    updateLayout();
}

void UiConfigButton::setDescriptionMarginTop(int pMargin)
{
    m_descriptionMarginTop = pMargin;
    updateLayout();
}

void UiConfigButton::setTitleFontSize(int pPoints)
{
    m_titleFontSize = pPoints;
    updateLayout();
}

void UiConfigButton::setDescriptionFontSize(int pPoints)
{
    m_descriptionFontSize = pPoints;
    updateLayout();
}

void UiConfigButton::setTitleFontColor(const QString &pColor)
{
    m_titleFontColor = pColor;
    updateLayout();
}

void UiConfigButton::setDescriptionFontColor(const QString &pColor)
{
    m_descriptionFontColor = pColor;
    updateLayout();
}

void UiConfigButton::setClickable(bool pClickable)
{
    m_clickable = pClickable;
    updateLayout();
}

void UiConfigButton::setWindow(UiFreeWindow *pWindow)
{
    m_window = pWindow;
}

void UiConfigButton::updateLayout()
{
    const int h = height();
    const int w = width();
    const int side = static_cast<int>(static_cast<float>(h) * 0.8f);
    m_pictureLabel->setGeometry(static_cast<int>(static_cast<float>(h) * 0.8f * 0.5f),
                                static_cast<int>(static_cast<float>(h) * 0.2f * 0.5f), side, side);

    const int titleHeight = m_description.isEmpty() ? h : h / 3;
    m_titleLabel->setGeometry(m_titleMarginLeft, 0, w - m_titleMarginLeft, titleHeight);
    m_titleLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_titleLabel->setText(m_title);
    if (!m_titleFontColor.isEmpty())
        m_titleLabel->setStyleSheet(colorStyle(m_titleFontColor));
    setPointSize(m_titleLabel, m_titleFontSize, true);
    m_titleLabel->update();

    m_descriptionLabel->setGeometry(m_descriptionMarginLeft, m_descriptionMarginTop, w - m_descriptionMarginLeft,
                                    (h / 3) * 2);
    m_descriptionLabel->setText(m_description);
    if (!m_descriptionFontColor.isEmpty())
        m_descriptionLabel->setStyleSheet(colorStyle(m_descriptionFontColor));
    setPointSize(m_descriptionLabel, m_descriptionFontSize, false);
    m_descriptionLabel->setAlignment(Qt::AlignTop);
    m_descriptionLabel->update();
}

void UiConfigButton::resizeEvent(QResizeEvent *pEvent)
{
    QLabel::resizeEvent(pEvent);
    updateLayout();
}

void UiConfigButton::mousePressEvent(QMouseEvent *pEvent)
{
    m_press.press(m_window, this, pEvent);
}

void UiConfigButton::mouseMoveEvent(QMouseEvent *pEvent)
{
    m_press.move(m_window, this, pEvent);
}

void UiConfigButton::mouseReleaseEvent(QMouseEvent *pEvent)
{
    if (m_press.release(m_window, this, pEvent))
        emitClicked();
}

void UiConfigButton::enterEvent(QEvent *pEvent)
{
    if (m_clickable && !m_overrideCursorPushed) {
        QGuiApplication::setOverrideCursor(Qt::PointingHandCursor);
        m_overrideCursorPushed = true;
    }
    QLabel::enterEvent(pEvent);
}

void UiConfigButton::leaveEvent(QEvent *pEvent)
{
    if (m_overrideCursorPushed) {
        QGuiApplication::restoreOverrideCursor();
        m_overrideCursorPushed = false;
    }
    QLabel::leaveEvent(pEvent);
}
