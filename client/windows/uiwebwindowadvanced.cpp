// SPDX-License-Identifier: GPL-2.0-or-later
#include "uiwebwindowadvanced.h"

#include "app/constants.h"
#include "uicustombutton.h"
#include "uicustomlineedit.h"
#include "windowslog.h"

#include <QKeyEvent>
#include <QLabel>

#include <regex>
#include <string>

namespace Velmorant {
namespace Advanced {

namespace {

const char *const kKnownSchemes[] = {"https",  "http", "ftp",      "file",   "news",  "nntp",
                                     "telnet", "wais", "prospero", "gopher", "mailto"};

bool isScheme(const QString &pScheme, const char *pName)
{
    return pScheme.compare(QLatin1String(pName), Qt::CaseInsensitive) == 0;
}

// Any of the accented lower-case letters the room does not take in a host
// or a path. Searched for rather than matched with ".*" around it: a whole
// match recurses once per character and overflows the stack on the long
// texts a line edit holds.
bool containsAccentedLetter(const QString &pText)
{
    static const std::wregex accented(L"[\u00e0\u00e2\u00e4\u00e3\u00e7\u00e9\u00e8\u00ea\u00eb\u00ee\u00ec\u00ef"
                                      L"\u00f5\u00f2\u00f4\u00f6\u00f9\u00fb\u00fc]",
                                      std::regex_constants::ECMAScript);
    const std::wstring text = pText.toStdWString();
    return std::regex_search(text, accented);
}

} // namespace

UiWebWindowAdvanced::UiWebWindowAdvanced(QWidget *parent) : UiFreeWindow(parent)
{
    setObjectName(QStringLiteral("VelmorantWidgetForm"));
    setEnabled(true);
    setAcceptDrops(true);
    setWindowName("UiWebWindowAdvanced");
    buildWindow();
}

UiWebWindowAdvanced::~UiWebWindowAdvanced() = default;

bool UiWebWindowAdvanced::isValidUrl(const QString &pText)
{
    // A line break or other control character would end up inside the
    // shortcut file the address is saved to; no address holds one.
    for (const QChar c : pText)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;

    // The query is the site's business and is not checked.
    const int query = int(pText.indexOf(QLatin1Char('?')));
    const QString w = query < 0 ? pText : pText.left(query);
    for (const char c : {' ', '\\', '<', '>', '*'})
        if (w.contains(QLatin1Char(c)))
            return false;

    const int slashes = int(w.indexOf(QLatin1String("//")));
    if (slashes > 0) {
        const QString s = w.left(slashes);
        if (!s.endsWith(QLatin1Char(':')))
            return false;
        if (s.size() > 1) {
            const QString scheme = s.left(s.size() - 1);
            bool known = false;
            for (const char *name : kKnownSchemes)
                known = known || isScheme(scheme, name);
            if (!known)
                return false;
            if (isScheme(scheme, "file") || isScheme(scheme, "ftp"))
                return true;
        }
    }
    return !containsAccentedLetter(w);
}

void UiWebWindowAdvanced::onWindowBuilt()
{
    m_urlText = findWidget<UiCustomLineEdit>("UrlText");
    m_validButton = findWidget<UiCustomButton>("ValidButton");
    m_errorLabel = findWidget<QLabel>("ErrorLabel");
    if (!m_urlText || !m_validButton)
        qCWarning(lcWindows) << "web window: the description lacks UrlText or ValidButton";

    if (m_urlText) {
        m_urlText->setPlaceholderText(QString::fromLatin1(kProductWebAddress));
        connect(m_urlText, &UiCustomLineEdit::focused, this, &UiWebWindowAdvanced::onUrlFocusChanged,
                Qt::UniqueConnection);
        connect(m_urlText, &QLineEdit::textChanged, this, &UiWebWindowAdvanced::onTextChanged, Qt::UniqueConnection);
    }
    if (m_errorLabel) {
        m_errorLabel->setText(tr("Invalid URL"));
        m_errorLabel->hide();
    }
}

void UiWebWindowAdvanced::reset()
{
    if (!m_urlText)
        return;
    m_urlText->clear();
    m_urlText->releaseFocus();
}

void UiWebWindowAdvanced::updateValidity()
{
    if (!m_urlText)
        return;
    const QString text = m_urlText->text().trimmed();
    const bool valid = !text.isEmpty() && isValidUrl(text);
    if (m_validButton)
        m_validButton->setEnabled(valid);
    if (m_errorLabel)
        m_errorLabel->setVisible(!text.isEmpty() && !valid);
}

void UiWebWindowAdvanced::onTextChanged(const QString &)
{
    updateValidity();
}

void UiWebWindowAdvanced::onUrlFocusChanged(bool)
{
    // An untouched empty box offers the placeholder; only a change of its
    // text takes that offer back, not the focus leaving it (reset() and the
    // close button release the focus).
    if (m_urlText && !m_urlText->text().isEmpty())
        updateValidity();
}

void UiWebWindowAdvanced::closeWithAddress()
{
    const QString text = m_urlText ? m_urlText->text().trimmed() : QString();
    m_url = text.isEmpty() ? QString::fromLatin1(kProductWebAddress).trimmed() : text;
    close();
    emit closed();
}

void UiWebWindowAdvanced::stlButtonValidationClicked()
{
    if (m_validButton && !m_validButton->isEnabled())
        return;
    closeWithAddress();
}

void UiWebWindowAdvanced::keyPressEvent(QKeyEvent *pEvent)
{
    if ((pEvent->key() == Qt::Key_Return || pEvent->key() == Qt::Key_Enter) && m_validButton &&
        m_validButton->isEnabled()) {
        pEvent->accept();
        closeWithAddress();
        return;
    }
    UiFreeWindow::keyPressEvent(pEvent);
}

void UiWebWindowAdvanced::stlButtonCloseClicked()
{
    m_url.clear();
    if (m_urlText) {
        m_urlText->clear();
        m_urlText->releaseFocus();
    }
    close();
    emit closed();
}

void UiWebWindowAdvanced::stlButtonClearClicked()
{
    if (!m_urlText)
        return;
    m_urlText->clear();
    m_urlText->releaseFocus();
}

} // namespace Advanced
} // namespace Velmorant
