// SPDX-License-Identifier: GPL-2.0-or-later
// The web link window built from the shipped description: the acceptance
// rule for addresses, the check while typing, and what each way of closing
// hands to the session window.
#include "app/constants.h"
#include "uicustombutton.h"
#include "uicustomlineedit.h"
#include "uiwebwindowadvanced.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFontDatabase>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using Velmorant::Advanced::UiWebWindowAdvanced;

namespace {

struct Web {
    UiWebWindowAdvanced window;
    QSignalSpy closed{&window, &UiWebWindowAdvanced::closed};

    UiCustomLineEdit *box() const { return window.findWidget<UiCustomLineEdit>("UrlText"); }
    UiCustomButton *valid() const { return window.findWidget<UiCustomButton>("ValidButton"); }
    QLabel *error() const { return window.findWidget<QLabel>("ErrorLabel"); }
    void click(const char *pName) const
    {
        auto *button = window.findWidget<UiCustomButton>(pName);
        QVERIFY2(button, pName);
        button->emitClicked();
    }
    // What the session window does each time the user opens it.
    void open()
    {
        window.reset();
        window.show();
    }
};

const QString kPlaceholder = QString::fromLatin1(Velmorant::kProductWebAddress);

} // namespace

class TestUiWebWindow : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QFontDatabase::addApplicationFont(":/MainWidget/Muli-Regular.ttf");
    }

    void isValidUrl_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");

        // The query is never looked at, the rest is.
        QTest::newRow("query holding <") << "https://example.com/path/page?q=<b>&r=1" << true;
        QTest::newRow("query holding accents and a space") << "example.com/?q=été x" << true;
        QTest::newRow("accent before the query") << "example.com/pàge?q=1" << false;
        QTest::newRow("space before the query") << "example.com/a b?q=1" << false;
        // Without "//" there is no scheme check.
        QTest::newRow("http: and a single slash") << "http:/example.com" << true;
        QTest::newRow("bare host") << "example.com" << true;
        QTest::newRow("mailto") << "mailto:someone@example.com" << true;
        QTest::newRow("bare host with a space") << "example .com" << false;
        QTest::newRow("accent, no scheme") << "www.exémple.fr" << false;
        // Schemes before "//".
        QTest::newRow("unknown scheme htp") << "htp://example.com" << false;
        QTest::newRow("HTTP in capitals") << "HTTP://EXAMPLE.COM" << true;
        QTest::newRow("every listed scheme: news") << "news://example.com" << true;
        QTest::newRow("prospero") << "Prospero://example.com" << true;
        QTest::newRow("mailto with //") << "mailto://x" << true;
        QTest::newRow("no colon before //") << "http//example.com" << false;
        QTest::newRow("path with //, no scheme") << "example.com//page" << false;
        QTest::newRow("scheme holding a colon") << "a:http://example.com" << false;
        QTest::newRow("a later // is not looked at") << "https://example.com//x" << true;
        // ftp and file are not checked for accents.
        QTest::newRow("ftp host with é") << "ftp://exémple.com" << true;
        QTest::newRow("FILE path with é") << "FILE:///home/é.txt" << true;
        QTest::newRow("https host with é") << "https://exémple.com" << false;
        QTest::newRow("ftp address still refuses a space") << "ftp://a b" << false;
        // Starting with "//" or "://": the accent check only.
        QTest::newRow("//host") << "//example.com" << true;
        QTest::newRow("//host with é") << "//exémple.com" << false;
        QTest::newRow("://host") << "://example.com" << true;
        QTest::newRow("://host with ü") << "://exampü.com" << false;
        // Characters never accepted before the query.
        QTest::newRow("backslash") << "https://example.com\\x" << false;
        QTest::newRow("<") << "https://example.com/<" << false;
        QTest::newRow(">") << "example.com/>" << false;
        QTest::newRow("*") << "example.com/*" << false;
        // Each listed letter is refused; capitals are not in the list.
        for (const QChar c : QString::fromUtf8("àâäãçéèêëîìïõòôöùûü"))
            QTest::newRow(qPrintable(QString("letter ") + c)) << QString("example.com/") + c << false;
        QTest::newRow("capital É") << "example.com/É" << true;
        // Control characters would break the shortcut file the address is
        // saved to, query or not.
        QTest::newRow("line feed in the query") << "https://example.com/?q=1\nURL=x" << false;
        QTest::newRow("tab in the host") << "https://exam\tple.com" << false;
        QTest::newRow("DEL") << QString("example.com/") + QChar(0x7f) << false;
        // The longest text a line edit holds: checked without exhausting the stack.
        QTest::newRow("32767 characters") << "https://" + QString(32755, 'a') + ".com" << true;
        QTest::newRow("32767 characters, é at the end") << "https://" + QString(32758, 'a') + "é" << false;
        QTest::newRow("200000 characters, é at the end") << QString(200000, 'a') + "é" << false;
    }
    void isValidUrl()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QCOMPARE(UiWebWindowAdvanced::isValidUrl(text), accepted);
    }

    void builtWindow()
    {
        Web web;
        QVERIFY(web.box());
        QVERIFY(web.valid());
        QVERIFY(web.error());
        QCOMPARE(web.window.objectName(), QString("VelmorantWidgetForm"));
        QCOMPARE(web.box()->placeholderText(), kPlaceholder);
        QCOMPARE(web.error()->text(), QString("Invalid URL")); // no catalogue installed
        QVERIFY(web.error()->isHidden());
        QVERIFY(web.valid()->isEnabled());
        QCOMPARE(web.window.url(), QString());
    }

    void firstOpeningSendsThePlaceholder()
    {
        Web web;
        web.open();
        QVERIFY(web.valid()->isEnabled());
        web.click("ValidButton");
        QCOMPARE(web.closed.count(), 1);
        QCOMPARE(web.window.url(), kPlaceholder);
        QVERIFY(!web.window.isVisible());

        // And again through Return, as long as the box was never typed in.
        web.open();
        QTest::keyClick(&web.window, Qt::Key_Return);
        QCOMPARE(web.closed.count(), 2);
        QCOMPARE(web.window.url(), kPlaceholder);
    }

    void closeButtonSendsNothing()
    {
        Web web;
        web.open();
        QTest::keyClicks(web.box(), "example.com");
        web.click("CloseButton");
        QCOMPARE(web.closed.count(), 1);
        QCOMPARE(web.window.url(), QString());
        QCOMPARE(web.box()->text(), QString());
        QVERIFY(!web.window.isVisible());

        // After a validated address, a close drops it again.
        web.open();
        QTest::keyClicks(web.box(), "example.org");
        web.click("ValidButton");
        QCOMPARE(web.window.url(), QString("example.org"));
        web.open();
        web.click("CloseButton");
        QCOMPARE(web.window.url(), QString());
    }

    void checkWhileTyping()
    {
        Web web;
        web.open();
        QTest::keyClicks(web.box(), "   ");
        QVERIFY(!web.valid()->isEnabled());
        QVERIFY(web.error()->isHidden());
        QTest::keyClick(web.box(), Qt::Key_Return);
        QCOMPARE(web.closed.count(), 0);

        QTest::keyClicks(web.box(), "exa mple");
        QVERIFY(!web.valid()->isEnabled());
        QVERIFY(!web.error()->isHidden());
        QTest::keyClick(web.box(), Qt::Key_Enter);
        web.click("ValidButton"); // a disabled button cannot be pressed
        QCOMPARE(web.closed.count(), 0);

        web.box()->setText("  https://example.com/a?b=<c>  ");
        QVERIFY(web.valid()->isEnabled());
        QVERIFY(web.error()->isHidden());
        QTest::keyClick(web.box(), Qt::Key_Return); // reaches the window through the box
        QCOMPARE(web.closed.count(), 1);
        QCOMPARE(web.window.url(), QString("https://example.com/a?b=<c>"));
    }

    void pastedLineBreakIsRefused()
    {
        Web web;
        web.open();
        QApplication::clipboard()->setText("https://example.com/?q=1\nURL=file:///etc/passwd");
        web.box()->paste();
        QVERIFY(web.box()->text().contains('\n'));
        QVERIFY(!web.valid()->isEnabled());
        QVERIFY(!web.error()->isHidden());
    }

    void keysOtherThanReturnDoNothing()
    {
        Web web;
        web.open();
        QTest::keyClick(&web.window, Qt::Key_Escape);
        QTest::keyClick(&web.window, Qt::Key_Space);
        QCOMPARE(web.closed.count(), 0);
        QVERIFY(web.window.isVisible());
        QTest::keyClick(&web.window, Qt::Key_Enter);
        QCOMPARE(web.closed.count(), 1);
    }

    void emptiedBoxNoLongerOffersThePlaceholder()
    {
        Web web;
        web.open();
        QTest::keyClicks(web.box(), "bad url");
        QVERIFY(!web.error()->isHidden());
        web.click("ClearButton");
        QCOMPARE(web.box()->text(), QString());
        QVERIFY(web.error()->isHidden());
        QVERIFY(!web.valid()->isEnabled());
        QVERIFY(!web.box()->hasFocus());

        web.open();
        QVERIFY(!web.valid()->isEnabled());
        QTest::keyClick(&web.window, Qt::Key_Return);
        QCOMPARE(web.closed.count(), 0);
        QTest::keyClicks(web.box(), "example.com");
        QVERIFY(web.valid()->isEnabled());
    }

    void focusChangesKeepTheCheck()
    {
        Web web;
        web.open();
        // Focus coming and going on the untouched box keeps the offer.
        emit web.box()->focused(true);
        emit web.box()->focused(false);
        QVERIFY(web.valid()->isEnabled());
        QTest::keyClicks(web.box(), "a*b");
        emit web.box()->focused(false);
        QVERIFY(!web.valid()->isEnabled());
        QVERIFY(!web.error()->isHidden());
    }
};

QTEST_MAIN(TestUiWebWindow)
#include "tst_uiwebwindow.moc"
