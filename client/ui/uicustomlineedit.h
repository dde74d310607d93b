// SPDX-License-Identifier: GPL-2.0-or-later
// A line edit that darkens its text while it has the focus and tells when
// the focus comes and goes.
#pragma once

#include <QLineEdit>

class UiCustomLineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit UiCustomLineEdit(QWidget *parent = nullptr);

    // Drops the focus and shows the unfocused look; emits focused(false).
    void releaseFocus();

    static const char kFocusedStyleSheet[];
    static const char kUnfocusedStyleSheet[];

signals:
    void focused(bool pIsFocused);

protected:
    void focusInEvent(QFocusEvent *pEvent) override;
    void focusOutEvent(QFocusEvent *pEvent) override;
};
