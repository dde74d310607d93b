// SPDX-License-Identifier: GPL-2.0-or-later
// The press rule shared by the image buttons: a press may drag the button's
// window; only a release within 10 px (|dx| + |dy|) of the press is a click.
#pragma once

#include <QPoint>

class QMouseEvent;
class QWidget;
class UiFreeWindow;

class ButtonPress {
public:
    void press(UiFreeWindow *pWindow, QWidget *pButton, QMouseEvent *pEvent);
    void move(UiFreeWindow *pWindow, QWidget *pButton, QMouseEvent *pEvent);
    // True when the release completes a click.
    bool release(UiFreeWindow *pWindow, QWidget *pButton, QMouseEvent *pEvent);

private:
    bool m_pressed = false;
    QPoint m_pressPosition;
};
