// SPDX-License-Identifier: GPL-2.0-or-later
#include "uicustombutton.h"

#include "renderimage.h"
#include "uifreewindow.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

namespace {
constexpr int kToolTipDelayMs = 1000;
constexpr int kToolTipOffset = 10;
} // namespace

UiCustomButton::UiCustomButton(QWidget *parent) : QLabel(parent), m_textLabel(new QLabel(this))
{
    setScaledContents(true);
}

UiCustomButton::~UiCustomButton()
{
    if (m_overrideCursorPushed)
        QGuiApplication::restoreOverrideCursor();
}

void UiCustomButton::setWindow(UiFreeWindow *pWindow)
{
    m_window = pWindow;
}

void UiCustomButton::emitClicked()
{
    emit clicked();
}

void UiCustomButton::setToolTipText(const QString &pText)
{
    m_toolTipText = pText;
}

void UiCustomButton::setFontColor(const QString &pColor)
{
    m_fontColor = pColor;
}

void UiCustomButton::setButtonText(const QString &pText)
{
    m_textLabel->setText(UiFreeWindow::tr(pText.toUtf8().constData()));
}

QString UiCustomButton::buttonText() const
{
    return m_textLabel->text();
}

void UiCustomButton::setFontSize(int pPixels)
{
    if (pPixels <= 0)
        return;                        // QFont refuses sizes below 1
    pPixels = std::min(pPixels, 1024); // a damaged description must not ask for giant glyphs
    QFont font = m_textLabel->font();
    font.setPixelSize(pPixels);
    m_textLabel->setFont(font);
}

void UiCustomButton::setTextAlignment(Qt::Alignment pAlignment)
{
    m_textLabel->setAlignment(pAlignment);
}

void UiCustomButton::setImage(const QString &pPath)
{
    m_currentImage = pPath;
    setPixmap(renderImage(pPath, width(), height()));
}

void UiCustomButton::setBackgroundImage(const QString &pPath)
{
    m_backgroundImage = pPath;
    if (m_currentImage.isEmpty()) {
        m_currentImage = pPath;
        setImage(pPath);
    }
}

void UiCustomButton::setBackgroundImage2(const QString &pPath)
{
    m_backgroundImage2 = pPath;
}

void UiCustomButton::setBackgroundImage3(const QString &pPath)
{
    m_backgroundImage3 = pPath;
}

void UiCustomButton::setHandCursor(bool pHandCursor)
{
    m_handCursor = pHandCursor;
}

void UiCustomButton::updateStyle()
{
    QString style = QStringLiteral("border:0px;");
    if (!m_fontColor.isEmpty())
        style += QStringLiteral("color : ") + m_fontColor + QStringLiteral(";");
    m_textLabel->setStyleSheet(style);
}

void UiCustomButton::layoutTextLabel()
{
    m_textLabel->setGeometry(0, 0, width(), height());
    updateStyle();
}

void UiCustomButton::mousePressEvent(QMouseEvent *pEvent)
{
    m_press.press(m_window, this, pEvent);
}

void UiCustomButton::mouseMoveEvent(QMouseEvent *pEvent)
{
    m_press.move(m_window, this, pEvent);
}

void UiCustomButton::mouseReleaseEvent(QMouseEvent *pEvent)
{
    if (m_press.release(m_window, this, pEvent))
        emitClicked();
}

void UiCustomButton::enterEvent(QEvent *pEvent)
{
    m_hovering = true;
    if (m_handCursor && !m_overrideCursorPushed) {
        QGuiApplication::setOverrideCursor(Qt::PointingHandCursor);
        m_overrideCursorPushed = true;
    }
    QLabel::enterEvent(pEvent);
    if (!m_toolTipText.isEmpty())
        QTimer::singleShot(kToolTipDelayMs, this, &UiCustomButton::showToolTip);
}

void UiCustomButton::showToolTip()
{
    if (!m_hovering)
        return;
    QToolTip::showText(QCursor::pos() + QPoint(0, kToolTipOffset),
                       UiFreeWindow::tr(m_toolTipText.toUtf8().constData()));
}

void UiCustomButton::leaveEvent(QEvent *pEvent)
{
    m_hovering = false;
    // Only what this button pushed: restoring an override someone else set
    // would leave the application with the wrong cursor.
    if (m_overrideCursorPushed) {
        QGuiApplication::restoreOverrideCursor();
        m_overrideCursorPushed = false;
    }
    QLabel::leaveEvent(pEvent);
}
