// SPDX-License-Identifier: GPL-2.0-or-later
#include "input/mousekeyboard.h"

#include "platform/inputbackend.h"

MouseKeyboard::MouseKeyboard(QObject *pParent)
    : MouseKeyboard(glimra::platform::createSystemInputBackend(), TouchThread::Start, pParent)
{
}

MouseKeyboard::MouseKeyboard(std::unique_ptr<glimra::platform::InputBackend> pBackend, TouchThread, QObject *pParent)
    : QObject(pParent), mBackend(std::move(pBackend))
{
}

MouseKeyboard::~MouseKeyboard() = default;

void MouseKeyboard::setTargetScreen(QString pName)
{
    mScreenName = pName;
}

void MouseKeyboard::setTargetGeometry(const QRect &, int, int, const QRect &, double) {}

void MouseKeyboard::injectKeyboardEvent(QByteArray) {}

void MouseKeyboard::injectMouseEvent(QByteArray, bool) {}

void MouseKeyboard::queueTouchEvent(QByteArray) {}

void MouseKeyboard::runTouchTick() {}

void MouseKeyboard::setClock(std::function<qint64()> pClock)
{
    mClock = std::move(pClock);
}
