// SPDX-License-Identifier: GPL-2.0-or-later
#include "uicodetextbox.h"

#include "platform/platform.h"
#include "renderimage.h"
#include "uifreewindow.h"

#include <QKeyEvent>

namespace {
const QString kEmpty = QStringLiteral("_");
}

UiCodeTextbox::UiCodeTextbox(QWidget *parent) : QLabel(parent)
{
    setScaledContents(true);
    // Created before the cells so it lies beneath them.
    m_cursor = new QLabel(this);
    m_cursor->setScaledContents(true);
    for (QLabel *&cell : m_cells) {
        cell = new QLabel(kEmpty, this);
        cell->setScaledContents(true);
    }
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_AcceptTouchEvents);
    layoutCells();
}

void UiCodeTextbox::setBackgroundImage(const QString &pPath)
{
    m_backgroundPath = pPath;
    setPixmap(renderImage(pPath, width(), height()));
}

void UiCodeTextbox::setCursorImage(const QString &pPath)
{
    m_cursor->setPixmap(renderImage(pPath, m_cellWidth > 0 ? m_cellWidth : width() / kCellCount, height()));
}

void UiCodeTextbox::setCharacterLayout(int pMargin, int pWidth)
{
    m_cellMargin = pMargin;
    m_cellWidth = pWidth;
    layoutCells();
}

QString UiCodeTextbox::code() const
{
    QString text;
    for (const QLabel *cell : m_cells)
        text += cell->text();
    return text;
}

void UiCodeTextbox::clearCode()
{
    for (QLabel *cell : m_cells)
        cell->setText(kEmpty);
    m_cursorIndex = 0;
    m_filled = 0;
    layoutCells();
}

void UiCodeTextbox::layoutCells()
{
    const double slot = double(width()) / kCellCount;
    m_cellWidth = int(slot * 0.8);
    m_cellMargin = int(slot * 0.2);
    int x = m_cellMargin;
    for (int i = 0; i < kCellCount; ++i) {
        QLabel *cell = m_cells[size_t(i)];
        cell->setGeometry(x, 0, m_cellWidth, height());
        cell->setAlignment(Qt::AlignCenter);
        cell->setStyleSheet(QStringLiteral("QLabel { color : white  }"));
        QFont font = cell->font();
        font.setPixelSize(qMax(1, height() - 20));
        cell->setFont(font);
        if (i == m_cursorIndex)
            m_cursor->setGeometry(x, 0, m_cellWidth, height());
        x += m_cellMargin + m_cellWidth;
    }
    m_cursor->setVisible(hasFocus());
}

bool UiCodeTextbox::cellEmpty(int pIndex) const
{
    return m_cells[size_t(pIndex)]->text() == kEmpty;
}

void UiCodeTextbox::moveLeft()
{
    if (m_cursorIndex > 0)
        --m_cursorIndex;
}

void UiCodeTextbox::announce()
{
    const QString current = code();
    if (current != m_lastCode) {
        m_lastCode = current;
        emit codeChanged(current);
    }
}

void UiCodeTextbox::keyPressEvent(QKeyEvent *pEvent)
{
    const QString text = pEvent->text();
    const char c = text.isEmpty() ? 0 : text.at(0).toLatin1();
    const int key = pEvent->key();

    if (key == Qt::Key_Backspace && m_cursorIndex == m_filled) {
        moveLeft();
    } else if (key == Qt::Key_Backspace && m_filled == m_cursorIndex + 1) {
        m_cells[size_t(m_cursorIndex)]->setText(kEmpty);
        moveLeft();
        m_filled = qMax(0, m_filled - 1);
        announce();
    } else if (key == Qt::Key_Left) {
        moveLeft();
    } else if (key == Qt::Key_Right) {
        if (m_cursorIndex < kCellCount - 1 && !cellEmpty(m_cursorIndex))
            ++m_cursorIndex;
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        if (cellEmpty(m_cursorIndex))
            ++m_filled;
        m_cells[size_t(m_cursorIndex)]->setText(QString(QChar::fromLatin1(c)).toUpper());
        if (m_cursorIndex < kCellCount - 1)
            ++m_cursorIndex;
        announce();
    } else {
        if (m_window)
            m_window->childKeyPressEvent(pEvent);
        return;
    }
    layoutCells();
}

bool UiCodeTextbox::event(QEvent *pEvent)
{
    if (pEvent->type() == QEvent::TouchBegin)
        Velmorant::Platform::startTouchKeyboard();
    return QLabel::event(pEvent);
}

void UiCodeTextbox::resizeEvent(QResizeEvent *)
{
    layoutCells();
}

void UiCodeTextbox::focusInEvent(QFocusEvent *)
{
    layoutCells();
}

void UiCodeTextbox::focusOutEvent(QFocusEvent *)
{
    layoutCells();
}
