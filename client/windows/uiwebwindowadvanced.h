// SPDX-License-Identifier: GPL-2.0-or-later
// The web link window: one address box, checked while the user types, whose
// validation hands the address to the session window; an empty box stands
// for the product's web address shown as placeholder. The session window
// owns one and shows it application-modal. GUI thread only.
#pragma once

#include "uifreewindow.h"

#include <QPointer>
#include <QString>

class QLabel;
class UiCustomButton;
class UiCustomLineEdit;

namespace Velmorant {
namespace Advanced {

class UiWebWindowAdvanced : public UiFreeWindow {
    Q_OBJECT
public:
    explicit UiWebWindowAdvanced(QWidget *parent = nullptr);
    ~UiWebWindowAdvanced() override;

    // Empties the box and gives it back its unfocused look.
    void reset();
    // The address of the last closing; empty when it was not validated.
    QString url() const { return m_url; }

    // Whether an address (already trimmed) may be sent: a known scheme when
    // it has one before "//", no blanks, no \ < > *, no accented lower-case
    // letter outside the query (none at all for file and ftp addresses),
    // and no control character anywhere.
    static bool isValidUrl(const QString &pText);

signals:
    void closed();

protected slots:
    void stlButtonValidationClicked();
    void stlButtonCloseClicked();
    void stlButtonClearClicked();
    void keyPressEvent(QKeyEvent *pEvent) override;
    void onTextChanged(const QString &pText);
    void onUrlFocusChanged(bool pIsFocused);

protected:
    void onWindowBuilt() override;

private:
    void updateValidity();
    void closeWithAddress();

    QString m_url;
    QPointer<UiCustomLineEdit> m_urlText;
    QPointer<UiCustomButton> m_validButton;
    QPointer<QLabel> m_errorLabel;
};

} // namespace Advanced
} // namespace Velmorant
