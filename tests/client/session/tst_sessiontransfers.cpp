// SPDX-License-Identifier: GPL-2.0-or-later
// The session window sending to the room emulator on an X server, with the
// real streaming library: dropped files (three at once, refused extensions,
// web links), the file dialog, room captures saved where the dialog says,
// refusals, local captures of the screen (the window out of the picture, a
// newer capture replacing the waiting one), a room that cuts transfers, and
// a room that vanishes with items still queued.
#include "../../support/roomemulatorprocess.h"
#include "loopbackroom.h"

#include "uicustombutton.h"
#include "uimainwindowadvanced.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QtTest>

using namespace Velmorant::Advanced;

namespace {

class SessionWindow : public UiMainWindowAdvanced {
public:
    using UiMainWindowAdvanced::stlButtonCaptureClicked;
    using UiMainWindowAdvanced::stlButtonDisconnectClicked;
    using UiMainWindowAdvanced::stlButtonUploadCaptureClicked;
    using UiMainWindowAdvanced::stlButtonUploadClicked;
    using UiMainWindowAdvanced::stlButtonUploadExplorerClicked;
    using UiMainWindowAdvanced::transferQueues;
    using UiMainWindowAdvanced::UiMainWindowAdvanced;

    QStringList filesToChoose;
    QString savePath;
    QStringList proposedNames;
    QStringList filters;
    QStringList boxes;
    // How far this window's clock runs ahead of the real one.
    qint64 aheadMs = 0;

protected:
    QDateTime now() const override { return QDateTime::currentDateTime().addMSecs(aheadMs); }
    QStringList chooseFilesToSend(const QString &, const QString &pFilter) override
    {
        filters << pFilter;
        return filesToChoose;
    }
    QString chooseCaptureSavePath(const QString &pProposedPath) override
    {
        proposedNames << pProposedPath;
        return savePath;
    }
    void showMessageBox(const QString &pTitle, const QString &pText) override { boxes << pTitle + ": " + pText; }
};

QByteArray sha256Of(const QString &pPath)
{
    QFile file(pPath);
    file.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
}

// A white area under the session window: a capture that shows the window
// would show its dark face there.
class WhiteBackdrop : public QWidget {
public:
    WhiteBackdrop() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint)
    {
        setGeometry(0, 0, 700, 700);
    }

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), Qt::white); }
};

} // namespace

class TestSessionTransfers : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<RoomEmulatorProcess> m_room;
    std::unique_ptr<SessionWindow> m_window;
    std::unique_ptr<QWidget> m_codeWindow;

    QString writeFile(const QString &pName, int pSize)
    {
        QFile file(m_dir.filePath(pName));
        file.open(QIODevice::WriteOnly);
        QByteArray bytes(pSize, '\0');
        for (int i = 0; i < pSize; ++i)
            bytes[i] = char((i * 31) ^ (i >> 8));
        file.write(bytes);
        return file.fileName();
    }

    void drop(const QList<QUrl> &pUrls)
    {
        QMimeData mime;
        mime.setUrls(pUrls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_window.get(), &enter);
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_window.get(), &event);
    }

    QJsonObject waitFor(const QString &pEvent, const QString &pName = QString(), int pTimeoutMs = 10000)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < pTimeoutMs) {
            const QJsonObject e = m_room->waitForEvent(pEvent, int(pTimeoutMs - clock.elapsed()));
            if (e.isEmpty() || pName.isEmpty() || e.value("name").toString() == pName)
                return e;
        }
        return {};
    }

    void joinRoom(const QStringList &pExtra)
    {
        m_room = std::make_unique<RoomEmulatorProcess>();
        QVERIFY(m_room->start(QStringList{"--no-discovery", "--save-dir", m_dir.filePath("inbox")} + pExtra));
        m_codeWindow->hide();
        m_window->startSession(loopbackRoom(m_room->tcpPort()));
        m_window->show();
        QVERIFY(!waitFor("session.recv", "Identity").isEmpty());
        // AllowedExtensions has arrived once the window answers a query after it.
        m_room->command(R"({"cmd":"send","type":"RemoteControlQuery"})");
        QVERIFY(!waitFor("session.recv", "RemoteControlMessage").isEmpty());
    }

private slots:
    void initTestCase()
    {
        QDir().mkpath(m_dir.filePath("inbox"));
        m_codeWindow = std::make_unique<QWidget>();
        m_window = std::make_unique<SessionWindow>();
        m_window->setCodeWindow(m_codeWindow.get());
        joinRoom({"--allowed-ext", "pdf,txt,png,url"});
    }

    void threeDroppedFilesGoOneAfterAnother()
    {
        const QStringList files{writeFile("plan.pdf", 120000), writeFile("empty.txt", 0), writeFile("photo.png", 3000)};
        drop({QUrl::fromLocalFile(files[0]), QUrl::fromLocalFile(files[1]), QUrl::fromLocalFile(files[2])});
        QVERIFY(m_window->findWidget("LoaderImage")->isVisibleTo(m_window.get()));
        for (int i = 0; i < 3; ++i) {
            const QJsonObject request = waitFor("session.recv", "FileRequest");
            QCOMPARE(request.value("body").toObject().value("file_name").toString(), QFileInfo(files[i]).fileName());
            const QJsonObject saved = waitFor("file.saved");
            QCOMPARE(saved.value("sha256").toString().toLatin1(), sha256Of(files[i]));
            QCOMPARE(saved.value("frames").toInt(), QList<int>({3, 1, 1})[i]);
        }
        QTRY_VERIFY(!m_window->findWidget("LoaderImage")->isVisibleTo(m_window.get()));
    }

    void refusedExtensionIsReportedNotSent()
    {
        const QString setup = writeFile("setup.exe", 10);
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(setup)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_window.get(), &enter);
        QVERIFY(!enter.isAccepted());

        // With a web link beside it, the drag is taken: the file is only
        // reported, the link is sent.
        drop({QUrl::fromLocalFile(setup), QUrl("https://example.org/c")});
        const QJsonObject refused = waitFor("session.recv");
        QCOMPARE(refused.value("name").toString(), QString("FileRefused"));
        QCOMPARE(refused.value("body").toObject().value("file_name").toString(), QString("setup.exe"));
        QVERIFY(waitFor("session.recv", "FileRequest")
                    .value("body")
                    .toObject()
                    .value("file_name")
                    .toString()
                    .endsWith(".url"));
        QVERIFY(!waitFor("file.saved").isEmpty());
    }

    void droppedWebLinksBecomeShortcutsWithOwnNames()
    {
        drop({QUrl("https://example.org/a"), QUrl("https://example.org/b")});
        QStringList names;
        for (int i = 0; i < 2; ++i) {
            names << waitFor("session.recv", "FileRequest").value("body").toObject().value("file_name").toString();
            const QJsonObject saved = waitFor("file.saved");
            QFile file(saved.value("path").toString());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("[InternetShortcut]\nURL=https://example.org/") + "ab"[i] + "\n");
        }
        QVERIFY(names[0] != names[1]);
        QVERIFY(names[0].startsWith("url_") && names[0].endsWith(".url"));
    }

    void fileDialogOffersTheRoomsExtensions()
    {
        m_window->filesToChoose = QStringList{writeFile("notes.txt", 5), m_dir.filePath("gone.txt")};
        m_window->stlButtonUploadExplorerClicked();
        QVERIFY(m_window->filters.last().endsWith(" (*.pdf *.txt *.png *.url)"));
        QCOMPARE(waitFor("session.recv", "FileRequest").value("body").toObject().value("file_name").toString(),
                 QString("notes.txt"));
        QVERIFY(!waitFor("file.saved").isEmpty());
    }

    void captureWaitsForTheFilesAcceptanceThenBothRun()
    {
        const QString file = writeFile("long.pdf", 2000000);
        QImage picture(64, 64, QImage::Format_RGB32);
        picture.fill(Qt::green);
        const QString capture = m_dir.filePath("20260101_000000 capture.png");
        QVERIFY(picture.save(capture));
        // The last transfer's end reaches the window after the room saved it.
        QTRY_COMPARE(m_window->transferQueues().transfersInProgress(), 0);
        drop({QUrl::fromLocalFile(file)});
        QVERIFY(m_window->transferQueues().awaitingAcceptance());
        QMetaObject::invokeMethod(m_window.get(), "sltDoUploadCapture", Q_ARG(QString, capture));
        QVERIFY(m_window->transferQueues().secondRequestPending());

        QCOMPARE(waitFor("session.recv", "FileRequest").value("body").toObject().value("file_name").toString(),
                 QString("long.pdf"));
        // The capture's request follows the file's acceptance at once.
        QCOMPARE(waitFor("session.recv", "FileRequest").value("body").toObject().value("file_name").toString(),
                 QFileInfo(capture).fileName());
        QStringList saved;
        for (int i = 0; i < 2; ++i)
            saved << waitFor("file.saved").value("file_name").toString();
        saved.sort();
        QCOMPARE(saved, QStringList({QFileInfo(capture).fileName(), "long.pdf"}));
        QTRY_COMPARE(m_window->transferQueues().transfersInProgress(), 0);
    }

    void sendMenuOpensAndCloses()
    {
        auto *upload = m_window->findWidget<UiCustomButton>("ButtonUpload");
        m_window->stlButtonUploadClicked();
        QCOMPARE(upload->currentImage(), upload->backgroundImage2());
        for (const char *name : {"ButttonUploadExplorer", "ButtonUploadCapture", "ButtonUploadWeb", "ButtonUploadNote"})
            QVERIFY2(!m_window->findWidget(name)->isHidden(), name);
        m_window->stlButtonUploadClicked();
        QCOMPARE(upload->currentImage(), upload->backgroundImage());
        QVERIFY(m_window->findWidget("ButtonUploadNote")->isHidden());
    }

    void roomCaptureIsSavedWhereTheDialogSays()
    {
        m_window->savePath = m_dir.filePath("shots/first.png");
        QDir().mkpath(m_dir.filePath("shots"));
        m_window->stlButtonCaptureClicked();
        QCOMPARE(waitFor("session.recv").value("name").toString(), QString("CaptureRequest"));
        const QJsonObject sent = waitFor("session.send", "CaptureImage");
        QTRY_VERIFY(QFile::exists(m_window->savePath));
        QFile saved(m_window->savePath);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.size(), qint64(sent.value("body").toObject().value("image_bytes").toInt()));
        QVERIFY(saved.read(8).startsWith("\x89PNG"));

        // The second dialog proposes the folder chosen the first time; a
        // cancel drops the image.
        m_window->savePath.clear();
        m_window->stlButtonCaptureClicked();
        QTRY_COMPARE(m_window->proposedNames.size(), 2);
        QVERIFY(m_window->proposedNames[1].startsWith(m_dir.filePath("shots") + "/"));
    }

    void refusalAndErrorShowTheirBoxes()
    {
        m_room->command(R"({"cmd":"send","type":"CaptureRefused"})");
        m_room->command(R"({"cmd":"send","type":"CaptureError"})");
        QTRY_COMPARE(m_window->boxes.size(), 2);
        QVERIFY(m_window->boxes[0].startsWith("capture.error.refused.title: "));
        QVERIFY(!m_window->findWidget("LoaderImage")->isVisibleTo(m_window.get()));
    }

    void localCaptureLeavesTheWindowOut()
    {
        WhiteBackdrop backdrop;
        backdrop.show();
        QVERIFY(QTest::qWaitForWindowExposed(&backdrop));
        m_window->move(100, 100);
        m_window->raise();
        QTRY_COMPARE(m_window->pos(), QPoint(100, 100));
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->stlButtonUploadCaptureClicked();
        QVERIFY(m_window->isHidden());
        const QJsonObject request = waitFor("session.recv", "FileRequest");
        QVERIFY(m_window->isVisible());
        const QString name = request.value("body").toObject().value("file_name").toString();
        QVERIFY2(name.endsWith(".png"), qPrintable(name));
        const QJsonObject saved = waitFor("file.saved");
        const QImage picture(saved.value("path").toString());
        QCOMPARE(picture.size(), QGuiApplication::primaryScreen()->size());
        // Where the window stands, the capture shows the white backdrop.
        QCOMPARE(picture.pixelColor(100 + 136, 100 + 192), QColor(Qt::white));
    }

    void newerLocalCaptureReplacesTheWaitingOne()
    {
        m_window->stlButtonDisconnectClicked();
        QTRY_VERIFY(m_codeWindow->isVisible());
        // A room that leaves file requests unanswered keeps the first capture
        // in progress.
        joinRoom({"--allowed-ext", "pdf", "--no-answer", "FileRequest"});
        QStringList requested;
        for (int i = 0; i < 3; ++i) {
            m_window->aheadMs += 1100; // captures are named by the second
            m_window->stlButtonUploadCaptureClicked();
            QTRY_VERIFY(m_window->isVisible());
            QTRY_COMPARE(m_window->transferQueues().queue(SendFileType::Capture).size(), qMin(i + 1, 2));
            requested << m_window->transferQueues().queue(SendFileType::Capture).last();
        }
        QCOMPARE(m_window->transferQueues().queue(SendFileType::Capture), QStringList({requested[0], requested[2]}));
        QVERIFY(m_window->transferQueues().captureUploadInProgress());
    }

    void vanishingRoomLogsWhatWasNotSent()
    {
        const QString waiting = writeFile("waiting.pdf", 100);
        drop({QUrl::fromLocalFile(waiting)});
        QCOMPARE(m_window->transferQueues().queue(SendFileType::File), QStringList({waiting}));
        const QStringList captures = m_window->transferQueues().queue(SendFileType::Capture);
        for (const QString &path : QStringList{waiting} + captures)
            QTest::ignoreMessage(
                QtWarningMsg, QRegularExpression("not sent, the session ended: " + QRegularExpression::escape(path)));
        m_room.reset();
        QTRY_VERIFY(m_codeWindow->isVisible());
        QVERIFY(m_window->transferQueues().queue(SendFileType::File).isEmpty());
        QVERIFY(!m_window->findWidget("LoaderImage")->isVisibleTo(m_window.get()));
    }

    void cutTransferDropsTheItemAndTheNextGoes()
    {
        joinRoom({"--allowed-ext", "pdf", "--fault", "close-mid-transfer"});
        const QStringList files{writeFile("cut1.pdf", 120000), writeFile("cut2.pdf", 120000)};
        drop({QUrl::fromLocalFile(files[0]), QUrl::fromLocalFile(files[1])});
        for (const QString &file : files) {
            QCOMPARE(waitFor("session.recv", "FileRequest").value("body").toObject().value("file_name").toString(),
                     QFileInfo(file).fileName());
            QVERIFY(!m_room->waitForEvent("file.aborted", 10000).isEmpty());
        }
        QTRY_VERIFY_WITH_TIMEOUT(m_window->transferQueues().queue(SendFileType::File).isEmpty(), 10000);
        QCOMPARE(m_window->transferQueues().transfersInProgress(), 0);
    }

    void captureAskedAsTheSessionEndsIsDropped()
    {
        QVERIFY(m_window->isVisible());
        auto *delay = m_window->findChild<QTimer *>("captureDelay");
        QVERIFY(delay);
        m_window->stlButtonUploadCaptureClicked();
        QVERIFY(delay->isActive());
        m_window->stlButtonDisconnectClicked();
        QTRY_VERIFY(m_codeWindow->isVisible());
        QTRY_VERIFY(!delay->isActive()); // the grab came and found the session gone
        QVERIFY(m_window->isHidden());
        QVERIFY(m_window->transferQueues().queue(SendFileType::Capture).isEmpty());
    }
};

QTEST_MAIN(TestSessionTransfers)
#include "tst_sessiontransfers.moc"
