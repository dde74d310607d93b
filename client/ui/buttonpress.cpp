// SPDX-License-Identifier: GPL-2.0-or-later
#include "buttonpress.h"

#include "uifreewindow.h"

#include <QCursor>

#include <cstdlib>

namespace {
constexpr int kClickDistance = 10;
}

void ButtonPress::press(UiFreeWindow *pWindow, QWidget *pButton, QMouseEvent *pEvent)
{
    if (pWindow)
        pWindow->childMousePressEvent(pButton, pEvent);
    m_pressed = true;
    m_pressPosition = QCursor::pos();
}

void ButtonPress::move(UiFreeWindow *pWindow, QWidget *pButton, QMouseEvent *pEvent)
{
    if (m_pressed && pWindow)
        pWindow->childMouseMoveEvent(pButton, pEvent);
}

bool ButtonPress::release(UiFreeWindow *pWindow, QWidget *pButton, QMouseEvent *pEvent)
{
    if (pWindow)
        pWindow->childMouseReleaseEvent(pButton, pEvent);
    const QPoint delta = QCursor::pos() - m_pressPosition;
    const bool click = m_pressed && std::abs(delta.x()) + std::abs(delta.y()) < kClickDistance;
    m_pressed = false;
    return click;
}
