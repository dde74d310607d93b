// SPDX-License-Identifier: GPL-2.0-or-later
// The session window against the room emulator, with a recording streaming
// library: the greeting before anything else, the identity, the room's
// settings, remote control answers and changes, the stream endpoint, and the
// end of a session (kicked or disconnected) followed by a second join.
#include "../../support/roomemulatorprocess.h"
#include "loopbackroom.h"
#include "recordinglibrary.h"

#include "app/settingsstore.h"
#include "settings/uiconfigurationwindow.h"
#include "uicustombutton.h"
#include "uimainwindowadvanced.h"
#include "uinotewindowadvanced.h"
#include "uiwebwindowadvanced.h"

#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QTextEdit>
#include <QtTest>

using namespace Velmorant::Advanced;

namespace {

class SessionWindow : public UiMainWindowAdvanced {
public:
    using UiMainWindowAdvanced::stlButtonDisconnectClicked;
    using UiMainWindowAdvanced::stlButtonFluxClicked;
    using UiMainWindowAdvanced::stlButtonUploadNoteClicked;
    using UiMainWindowAdvanced::stlButtonUploadWebClicked;
    using UiMainWindowAdvanced::UiMainWindowAdvanced;
};

} // namespace

class TestUiMainWindowAdvanced : public QObject {
    Q_OBJECT
    RoomEmulatorProcess m_room;
    std::shared_ptr<CallLog> m_calls = std::make_shared<CallLog>();
    RecordingLibrary *m_library = nullptr;
    std::unique_ptr<QWidget> m_codeWindow;
    std::unique_ptr<Velmorant::UiConfigurationWindow> m_settingsWindow;
    std::unique_ptr<SessionWindow> m_window;

    QJsonObject waitForRecv(const QString &pName, int pTimeoutMs = 5000)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < pTimeoutMs) {
            const QJsonObject e = m_room.waitForEvent("session.recv", int(pTimeoutMs - clock.elapsed()));
            if (e.isEmpty() || e.value("name").toString() == pName)
                return e;
        }
        return {};
    }

    void join()
    {
        m_window->startSession(loopbackRoom(m_room.tcpPort()));
        m_window->show();
        QVERIFY(!m_room.waitForEvent("session.open", 5000).isEmpty());
    }

private slots:
    void initTestCase()
    {
        Velmorant::ClientSettings settings;
        settings.userName = QStringLiteral("Zoé Martin");
        settings.configRemoteControl = false;
        settings.language = QStringLiteral("English");
        QVERIFY(Velmorant::SettingsStore().write(settings));

        QVERIFY(m_room.start({"--no-discovery", "--room", "VLM42:Salle 12:3:10:2:room-12", "--device-name",
                              "Salle douze", "--allow-capture", "no", "--allow-fullscreen", "yes"}));
        m_codeWindow = std::make_unique<QWidget>();
        m_settingsWindow = std::make_unique<Velmorant::UiConfigurationWindow>();
        auto library = std::make_unique<RecordingLibrary>(m_calls);
        m_library = library.get();
        m_window = std::make_unique<SessionWindow>(nullptr, std::move(library));
        m_window->setSettingsWindow(m_settingsWindow.get());
        m_window->cacheSettings();
        m_window->setCodeWindow(m_codeWindow.get());
    }

    void cleanupTestCase()
    {
        m_window.reset();
        m_settingsWindow.reset();
    }

    void greetingComesBeforeAnEarlyClick()
    {
        // A click while the connection is being made: its messages must
        // follow the greeting, or the room would not know the connection.
        m_window->startSession(loopbackRoom(m_room.tcpPort()));
        m_window->show();
        m_window->stlButtonFluxClicked();
        // The starting look lasts until the library is seen streaming, which
        // the recording library never is: a picture of it for the artefacts.
        const QString artefacts = qEnvironmentVariable("VELMORANT_BUILD_DIR") + "/test-artefacts/session-window";
        QDir().mkpath(artefacts);
        QVERIFY(m_window->grab().save(artefacts + "/starting.png"));
        QVERIFY(!m_room.waitForEvent("session.open", 5000).isEmpty());
        const QJsonObject first = m_room.waitForEvent("session.recv", 5000);
        QCOMPARE(first.value("name").toString(), QString("ScreenSize"));
        QCOMPARE(first.value("body").toObject(),
                 QJsonObject({{"screenPhysicalWidth", 1920}, {"screenPhysicalHeight", 1080}}));
        QVERIFY(!waitForRecv("StreamRequest").isEmpty());
    }

    void identityCarriesHostAndChosenName()
    {
        const QJsonObject identity = waitForRecv("Identity");
        QCOMPARE(identity.value("body").toObject(),
                 QJsonObject({{"computerName", QHostInfo::localHostName()}, {"userName", "Zoé Martin"}}));
    }

    void roomSettingsSetTitleAndCapturePermission()
    {
        auto *title = m_window->findWidget<QLabel>("Title");
        QVERIFY(title);
        QTRY_COMPARE(title->text(), QString("Salle douze"));
        auto *capture = m_window->findWidget<UiCustomButton>("ButtonCapture");
        QCOMPARE(capture->currentImage(), capture->backgroundImage2());
        QVERIFY(!capture->hasHandCursor());
        QVERIFY(m_window->fullscreenFeature());

        // A name wider than the label is shortened and shown whole as a tooltip.
        const QString longName = QStringLiteral("Salle de démonstration du troisième étage, aile nord");
        m_room.command(QJsonDocument(QJsonObject{{"cmd", "send"},
                                                 {"type", "SessionSettings"},
                                                 {"body", QJsonObject{{"version", "1"},
                                                                      {"device_name", longName},
                                                                      {"allowDistantScreenshot", false},
                                                                      {"allowStreamFullscreen", true}}}})
                           .toJson(QJsonDocument::Compact));
        QTRY_COMPARE(title->toolTip(), longName);
        QVERIFY(title->text().endsWith(QChar(0x2026)));
        QVERIFY(title->fontMetrics().horizontalAdvance(title->text()) <= title->width());
        QVERIFY(longName.startsWith(title->text().chopped(1)));
    }

    void streamStartFromTheRoomStartsTheLibrary()
    {
        // The emulator answered the StreamRequest with its loopback address,
        // which means the session's own peer, here 127.0.0.1 as well.
        QTRY_VERIFY(m_calls->lines.filter("streamTo").size() == 1);
        const QStringList lines = m_calls->lines;
        const int start = lines.indexOf("start");
        QVERIFY(start > 0);
        QCOMPARE(lines[start - 1], QString("remoteInteractionActived 0"));
        QVERIFY(lines[start + 1].startsWith("streamTo 127.0.0.1 "));
        QVERIFY(lines[start + 1].endsWith(" 1 1"));
    }

    void remoteControlQueryIsAnsweredWithTheSetting()
    {
        m_room.command(R"({"cmd":"send","type":"RemoteControlQuery"})");
        QCOMPARE(waitForRecv("RemoteControlMessage").value("body").toObject(), QJsonObject({{"remoteControl", false}}));
    }

    void savedRemoteControlChangeReachesLibraryOnce()
    {
        m_calls->lines.clear();
        QVERIFY(QMetaObject::invokeMethod(m_settingsWindow.get(), "stlButtonRemoteControlClicked"));
        QVERIFY(QMetaObject::invokeMethod(m_settingsWindow.get(), "stlButtonCloseClicked"));
        QCOMPARE(waitForRecv("RemoteControlMessage").value("body").toObject(), QJsonObject({{"remoteControl", true}}));
        QCOMPARE(m_calls->lines.filter("remoteInteractionActived"), QStringList({"remoteInteractionActived 1"}));

        // Saved again without a change: no call, and the cached value holds.
        m_settingsWindow->findWidget<QLineEdit>("UserName")->setText(QStringLiteral("Zoé M."));
        QVERIFY(QMetaObject::invokeMethod(m_settingsWindow.get(), "stlButtonCloseClicked"));
        QCOMPARE(waitForRecv("UserNameMessage").value("body").toObject(), QJsonObject({{"userName", "Zoé M."}}));
        QCOMPARE(m_calls->lines.filter("remoteInteractionActived").size(), 1);
        m_room.command(R"({"cmd":"send","type":"RemoteControlQuery"})");
        QCOMPARE(waitForRecv("RemoteControlMessage").value("body").toObject(), QJsonObject({{"remoteControl", true}}));
    }

    void noteIsSentOnlyWhenValidated()
    {
        UiNoteWindowAdvanced *note = m_window->noteWindow();
        auto click = [note](const char *pName) { note->findWidget<UiCustomButton>(pName)->emitClicked(); };
        m_window->stlButtonUploadNoteClicked();
        QVERIFY(note->isVisible());
        click("ButtonColorBlue");
        click("TagButton");
        click("ButtonTagStar");
        note->findWidget<QTextEdit>("MainText")->setPlainText("Hi");
        click("ValidButton");
        QVERIFY(!note->isVisible());
        QCOMPARE(waitForRecv("NoteMessage").value("body").toObject(),
                 QJsonObject({{"note_text", "#color=0\n#tag=1\nHi"}}));

        // Closed with its close button: nothing goes. The next note keeps the colour.
        m_window->stlButtonUploadNoteClicked();
        QCOMPARE(note->composedNote().section('\n', 0, 0), QString("#color=0"));
        note->findWidget<QTextEdit>("MainText")->setPlainText("not this one");
        click("CloseButton");
        m_window->stlButtonUploadWebClicked();
        UiWebWindowAdvanced *web = m_window->webWindow();
        web->findWidget<QLineEdit>("UrlText")->setText("https://example.org/plan");
        web->findWidget<UiCustomButton>("ValidButton")->emitClicked();
        // The link is the next message: the discarded note sent nothing.
        const QJsonObject next = m_room.waitForEvent("session.recv", 5000);
        QCOMPARE(next.value("name").toString(), QString("WebLinkMessage"));
        QCOMPARE(next.value("body").toObject(), QJsonObject({{"url", "https://example.org/plan"}}));
    }

    void lostSessionHidesTheNoteAndResetsItsColour()
    {
        m_window->stlButtonUploadNoteClicked();
        m_window->noteWindow()->findWidget<UiCustomButton>("ButtonColorRed")->emitClicked();
        QCOMPARE(m_window->noteWindow()->colorName(), QString("RED"));
        m_room.command(R"({"cmd":"kick"})");
        QTRY_VERIFY(m_codeWindow->isVisible());
        QVERIFY(!m_window->noteWindow()->isVisible());
        QCOMPARE(m_window->noteWindow()->colorName(), QString("YELLOW"));
        m_codeWindow->hide();
        join();
        QVERIFY(!waitForRecv("Identity").isEmpty());
    }

    void kickedSessionShowsTheCodeWindow()
    {
        m_calls->lines.clear();
        QVERIFY(m_window->isVisible());
        m_room.command(R"({"cmd":"kick"})");
        QTRY_VERIFY(m_codeWindow->isVisible());
        QVERIFY(m_window->isHidden());
        QVERIFY(m_calls->lines.contains("stop"));
        QVERIFY(!m_window->findWidget("ButtonConfig")->isHidden());
    }

    void disconnectAndJoinAgain()
    {
        m_codeWindow->hide();
        join();
        QVERIFY(!waitForRecv("Identity").isEmpty());
        m_settingsWindow->setMode(Velmorant::UiConfigurationWindow::AdvancedWindowMode);
        m_window->stlButtonDisconnectClicked();
        QTRY_VERIFY(m_window->isHidden());
        QVERIFY(m_codeWindow->isVisible());
        QCOMPARE(m_settingsWindow->mode(), int(Velmorant::UiConfigurationWindow::CodeWindowMode));
        QVERIFY(!m_room.waitForEvent("session.closed", 5000).isEmpty());

        m_codeWindow->hide();
        join();
        QVERIFY(!waitForRecv("Identity").isEmpty());
    }
};

QTEST_MAIN(TestUiMainWindowAdvanced)
#include "tst_uimainwindowadvanced.moc"
