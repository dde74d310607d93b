// SPDX-License-Identifier: GPL-2.0-or-later
#include "uicustomlineedit.h"

const char UiCustomLineEdit::kFocusedStyleSheet[] = "QLineEdit { color: black; selection-color: black; border : 0px ; "
                                                    "background-color: rgba(0, 0, 0, 0%) ; padding-left: 3px;}";
const char UiCustomLineEdit::kUnfocusedStyleSheet[] =
    "QLineEdit { color: rgb(160,160,160); selection-color: black; border : 0px ; "
    "background-color: rgba(0, 0, 0, 0%) ; padding-left: 3px;}";

UiCustomLineEdit::UiCustomLineEdit(QWidget *parent) : QLineEdit(parent)
{
    setFocusPolicy(Qt::ClickFocus);
    setCursor(Qt::IBeamCursor);
}

void UiCustomLineEdit::focusInEvent(QFocusEvent *pEvent)
{
    QLineEdit::focusInEvent(pEvent);
    setStyleSheet(QLatin1String(kFocusedStyleSheet));
    emit focused(true);
}

void UiCustomLineEdit::focusOutEvent(QFocusEvent *pEvent)
{
    QLineEdit::focusOutEvent(pEvent);
    setStyleSheet(QLatin1String(kUnfocusedStyleSheet));
    emit focused(false);
}

void UiCustomLineEdit::releaseFocus()
{
    clearFocus();
    setCursor(Qt::IBeamCursor);
    setStyleSheet(QLatin1String(kUnfocusedStyleSheet));
    emit focused(false);
}
