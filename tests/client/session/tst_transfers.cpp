// SPDX-License-Identifier: GPL-2.0-or-later
// Sending to the room below the window: the two queues and their one awaited
// request, the names of shortcut and capture files, and a file's own
// connection frame by frame against a scripted loopback server (sizes,
// greeting, answers missing, peers leaving, files that fail or are too big).
#include "filetransfer.h"
#include "sendfiles.h"
#include "transferqueues.h"
#include "transferworkers.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <atomic>
#include <future>

using namespace Velmorant::Advanced;

namespace {

struct QueueFixture {
    QStringList log;
    TransferQueues queues{{[this](const QString &p) { log << "request " + p; },
                           [this](bool v) { log << QString("loader %1").arg(int(v)); },
                           [this](const QString &p) { log << "too large " + p; }}};
};

// One file transfer connection as the room runs it, scripted per test.
class ScriptedRoom : public QObject {
public:
    enum class Ending { Answer, CloseBeforeAnswer, NeverAnswer, CloseAfterGreeting };

    explicit ScriptedRoom(Ending pEnding) : m_ending(pEnding)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            m_socket = m_server.nextPendingConnection();
            connect(m_socket, &QTcpSocket::readyRead, this, [this] { read(); });
        });
    }
    quint16 port() const { return m_server.serverPort(); }

    QList<QByteArray> frames; // what the client sent, in order
    bool done = false;

private:
    void sendFrame(const QByteArray &pPayload)
    {
        QByteArray length(4, '\0');
        qToLittleEndian<qint32>(pPayload.size(), length.data());
        m_socket->write(length + pPayload);
    }
    void read()
    {
        m_buffer += m_socket->readAll();
        while (m_buffer.size() >= 4) {
            const qint32 length = qFromLittleEndian<qint32>(m_buffer.constData());
            if (m_buffer.size() < 4 + length)
                return;
            frames << m_buffer.mid(4, length);
            m_buffer.remove(0, 4 + length);
            onFrame();
        }
    }
    void onFrame()
    {
        if (m_ending == Ending::CloseAfterGreeting) { // every attempt
            m_socket->close();
            done = true;
            return;
        }
        if (frames.size() == 1) {    // the greeting
            sendFrame(QByteArray()); // a keep-alive is not an answer
            sendFrame("OK");
            return;
        }
        if (frames.size() < 2)
            return;
        const qint32 size = qFromLittleEndian<qint32>(frames[1].constData() + 4);
        qint64 received = 0;
        for (int i = 2; i < frames.size(); ++i)
            received += frames[i].size() - 4;
        if (received < size || (size == 0 && frames.size() < 3))
            return;
        done = true;
        if (m_ending == Ending::Answer)
            sendFrame("DONE");
        else if (m_ending == Ending::CloseBeforeAnswer)
            m_socket->close();
    }

    Ending m_ending;
    QTcpServer m_server;
    QTcpSocket *m_socket = nullptr;
    QByteArray m_buffer;
};

QString writeFile(QTemporaryDir &pDir, const QString &pName, int pSize)
{
    QFile file(pDir.filePath(pName));
    file.open(QIODevice::WriteOnly);
    QByteArray bytes(pSize, '\0');
    for (int i = 0; i < pSize; ++i)
        bytes[i] = char(i * 7 + 3);
    file.write(bytes);
    return file.fileName();
}

FileTransferOutcome sendWhileServing(ScriptedRoom &pRoom, const QString &pPath, FileTransferLimits pLimits = {})
{
    auto future =
        std::async(std::launch::async, [&] { return sendFile("127.0.0.1", pRoom.port(), 42, pPath, pLimits); });
    // The room answers from this thread's event loop.
    while (!QTest::qWaitFor([&] { return future.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; },
                            60000))
        qWarning("the transfer still runs");
    return future.get();
}

} // namespace

class TestTransfers : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void framesAreExact()
    {
        QCOMPARE(FileTransferFrames::greeting(7),
                 QByteArray("{ \"connection_type\" : \"FILE_TRANSFER\", \"transfer_id\" : 7 }"));
        QCOMPARE(FileTransferFrames::header(120000).toHex(), QByteArray("01000000c0d40100"));
        QCOMPARE(FileTransferFrames::data("ab").toHex(), QByteArray("020000006162"));
    }

    void fileGoesInPiecesOfFiftyThousand_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QList<int>>("pieces");
        QTest::newRow("120000") << 120000 << QList<int>{50000, 50000, 20000};
        QTest::newRow("empty") << 0 << QList<int>{0};
        QTest::newRow("exactly one piece") << 50000 << QList<int>{50000};
    }
    void fileGoesInPiecesOfFiftyThousand()
    {
        QFETCH(int, size);
        QFETCH(QList<int>, pieces);
        ScriptedRoom room(ScriptedRoom::Ending::Answer);
        const QString path = writeFile(m_dir, QString("file-%1.bin").arg(size), size);
        QCOMPARE(sendWhileServing(room, path), FileTransferOutcome::Sent);
        QCOMPARE(room.frames.first(), FileTransferFrames::greeting(42));
        QCOMPARE(room.frames[1], FileTransferFrames::header(size));
        QList<int> sent;
        QByteArray bytes;
        for (int i = 2; i < room.frames.size(); ++i) {
            QCOMPARE(qFromLittleEndian<qint32>(room.frames[i].constData()), 2);
            sent << room.frames[i].size() - 4;
            bytes += room.frames[i].mid(4);
        }
        QCOMPARE(sent, pieces);
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        QCOMPARE(bytes, file.readAll());
    }

    void failuresEndTheTransfer_data()
    {
        QTest::addColumn<int>("ending");
        QTest::addColumn<int>("outcome");
        QTest::newRow("closed before the final answer")
            << int(ScriptedRoom::Ending::CloseBeforeAnswer) << int(FileTransferOutcome::Lost);
        QTest::newRow("no final answer") << int(ScriptedRoom::Ending::NeverAnswer)
                                         << int(FileTransferOutcome::NoAnswer);
        QTest::newRow("closed after the greeting")
            << int(ScriptedRoom::Ending::CloseAfterGreeting) << int(FileTransferOutcome::NoConnection);
    }
    void failuresEndTheTransfer()
    {
        QFETCH(int, ending);
        ScriptedRoom room(static_cast<ScriptedRoom::Ending>(ending));
        FileTransferLimits limits;
        limits.finalAnswerTimeoutMs = 300;
        QFETCH(int, outcome);
        QCOMPARE(int(sendWhileServing(room, writeFile(m_dir, "f.bin", 70000), limits)), outcome);
    }

    void noRoomGivesUpAfterThreeAttempts()
    {
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost, 0);
        const quint16 port = closed.serverPort();
        closed.close();
        QCOMPARE(sendFile("127.0.0.1", port, 1, writeFile(m_dir, "g.bin", 10)), FileTransferOutcome::NoConnection);
    }

    void unreadableOrHugeFilesStop()
    {
        // A folder has a size but yields no bytes: the loop must end.
        ScriptedRoom room(ScriptedRoom::Ending::Answer);
        QCOMPARE(sendWhileServing(room, m_dir.path()), FileTransferOutcome::FileShort);

        QFile huge(m_dir.filePath("huge.bin"));
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(qint64(1) << 31)); // sparse: costs no disk
        huge.close();
        QCOMPARE(sendFile("127.0.0.1", 9, 1, huge.fileName()), FileTransferOutcome::TooLarge);
    }

    void stopEndsTransfersThatWaitForTheRoom()
    {
        // The room takes everything and never answers (the answer limit is
        // 30 s): the workers' stop ends the transfer within a moment, and a
        // finished worker is joined by the next start.
        ScriptedRoom room(ScriptedRoom::Ending::NeverAnswer);
        const QString path = writeFile(m_dir, "s.bin", 70000);
        TransferWorkers workers;
        std::atomic<int> outcome{-1};
        workers.start([&](const std::atomic<bool> &pStop) {
            outcome = int(sendFile("127.0.0.1", room.port(), 42, path, {}, &pStop));
        });
        QTRY_VERIFY_WITH_TIMEOUT(room.done, 10000);
        QCOMPARE(workers.running(), 1);
        QElapsedTimer clock;
        clock.start();
        workers.stop();
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(outcome.load(), int(FileTransferOutcome::Stopped));
        QCOMPARE(workers.running(), 0);

        std::atomic<bool> ran{false};
        workers.start([&](const std::atomic<bool> &pStop) { ran = !pStop.load(); });
        QTRY_COMPARE(workers.running(), 0);
        QVERIFY(ran.load());
    }

    void oneRequestAwaitedAcrossBothQueues()
    {
        QueueFixture f;
        f.queues.enqueue(SendFileType::File, {"/a.pdf", "/b.pdf", "/c.pdf"});
        QCOMPARE(f.log, QStringList({"loader 1", "request /a.pdf"}));
        // A capture while the file's request is awaited waits for it.
        f.queues.queueCapture("/shot1.png");
        QVERIFY(f.queues.secondRequestPending());
        QCOMPARE(f.log.size(), 2);

        TransferQueues::Accepted accepted = f.queues.onAccepted();
        QCOMPARE(accepted.path, QString("/a.pdf"));
        QCOMPARE(f.log.last(), QString("request /shot1.png"));
        accepted = f.queues.onAccepted();
        QCOMPARE(accepted.path, QString("/shot1.png"));
        QCOMPARE(accepted.type, SendFileType::Capture);
        QCOMPARE(f.queues.transfersInProgress(), 2);

        f.queues.onTransferDone(SendFileType::File);
        QCOMPARE(f.log.last(), QString("request /b.pdf"));
        f.queues.onTransferDone(SendFileType::Capture);
        QVERIFY(!f.queues.captureUploadInProgress());
        QCOMPARE(f.queues.transfersInProgress(), 1);
        f.queues.onAccepted();
        f.queues.onTransferDone(SendFileType::File);
        f.queues.onAccepted();
        f.queues.onTransferDone(SendFileType::File);
        QCOMPARE(f.log.last(), QString("loader 0"));
        QVERIFY(f.queues.queue(SendFileType::File).isEmpty());
    }

    void newerCaptureReplacesTheWaitingOne()
    {
        QueueFixture f;
        f.queues.queueCapture("/1.png");
        f.queues.onAccepted();
        f.queues.queueCapture("/2.png");
        f.queues.queueCapture("/3.png");
        f.queues.queueCapture("/3.png"); // the same second: one item
        QCOMPARE(f.queues.queue(SendFileType::Capture), QStringList({"/1.png", "/3.png"}));
    }

    void tooLargeFileIsSkippedWithAMessage()
    {
        QFile huge(m_dir.filePath("big.mp4"));
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(qint64(1) << 31));
        huge.close();
        QueueFixture f;
        f.queues.enqueue(SendFileType::File, {huge.fileName(), "/next.pdf"});
        QCOMPARE(f.log, QStringList({"too large " + huge.fileName(), "loader 1", "request /next.pdf"}));
        QCOMPARE(f.queues.queue(SendFileType::File), QStringList({"/next.pdf"}));
    }

    void endOfSessionDropsEverything()
    {
        QueueFixture f;
        f.queues.enqueue(SendFileType::File, {"/a", "/b"});
        f.queues.queueCapture("/c.png");
        QCOMPARE(f.queues.clear(), QStringList({"/a", "/b", "/c.png"}));
        QVERIFY(!f.queues.awaitingAcceptance() && !f.queues.secondRequestPending());
        QCOMPARE(f.queues.transfersInProgress(), 0);
        // A late acceptance finds nothing to send.
        QVERIFY(!f.queues.onAccepted().valid);
    }

    void shortcutFilesNeverShareAName()
    {
        const QDateTime now(QDate(2026, 12, 10), QTime(15, 4, 5));
        const QString first = createWebLinkFile(m_dir.path(), "https://a.example/", now);
        const QString second = createWebLinkFile(m_dir.path(), "https://b.example/", now);
        QCOMPARE(QFileInfo(first).fileName(), QString("url_20261210_150405.url"));
        QCOMPARE(QFileInfo(second).fileName(), QString("url_20261210_150405_2.url"));
        QFile file(first);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("[InternetShortcut]\nURL=https://a.example/\n"));
        QVERIFY(createWebLinkFile(m_dir.filePath("missing/folder"), "https://c.example/", now).isEmpty());
    }

    void namesAndPatterns()
    {
        QCOMPARE(localCapturePath("/tmp/x", QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)), "my screen"),
                 QString("/tmp/x/20260102_030405 my screen.png"));
        QCOMPARE(proposedRoomCaptureName("/home/u/Pictures", QDate(2026, 1, 2), "room capture"),
                 QString("/home/u/Pictures/20260102 room capture.png"));
        QCOMPARE(proposedRoomCaptureName("", QDate(2026, 1, 2), "room capture"), QString("/20260102 room capture.png"));
        QCOMPARE(extensionPatterns({"pdf", "png", "pdf"}), QString("(*.pdf *.png *.pdf)"));
        QCOMPARE(extensionPatterns({}), QString());
        QVERIFY(isAllowedFile("/x/Plan.PDF", {"pdf"}));
        QVERIFY(!isAllowedFile("/x/setup.exe", {"pdf"}));
        QVERIFY(isWebLink("", "HTTPS://example.org"));
        QVERIFY(!isWebLink("", "ftp://example.org"));
        QVERIFY(!isWebLink("/x/http.pdf", "file:///x/http.pdf"));
    }
};

QTEST_GUILESS_MAIN(TestTransfers)
#include "tst_transfers.moc"
