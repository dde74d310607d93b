// SPDX-License-Identifier: GPL-2.0-or-later
// The update exchanges against a scripted server on loopback. The server
// side is written from the wire layout: 4-byte little-endian length, payload.
#include "threaddownloadupdate.h"
#include "updatechecker.h"
#include "updatestream.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>
#include <QtTest>

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <atomic>
#include <functional>
#include <future>
#include <thread>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Velmorant;

namespace {

QByteArray frame(const QByteArray &payload)
{
    QByteArray out(4, 0);
    qToLittleEndian<qint32>(payload.size(), out.data());
    return out + payload;
}

QByteArray le32(quint32 v)
{
    QByteArray out(4, 0);
    qToLittleEndian<quint32>(v, out.data());
    return out;
}

bool readExactly(QTcpSocket &s, qint64 n, QByteArray &out)
{
    while (s.bytesAvailable() < n)
        if (!s.waitForReadyRead(5000))
            return false;
    out = s.read(n);
    return true;
}

// Serves one connection on its own thread with a blocking script.
class ScriptedServer {
public:
    using Script = std::function<void(QTcpSocket &)>;
    explicit ScriptedServer(Script script)
    {
        std::promise<quint16> port;
        auto ready = port.get_future();
        m_thread = std::thread([this, script, p = std::move(port)]() mutable {
            QTcpServer server;
            server.listen(QHostAddress::LocalHost, 0);
            p.set_value(server.serverPort());
            if (!server.waitForNewConnection(5000))
                return;
            QTcpSocket *socket = server.nextPendingConnection();
            QByteArray length, payload;
            if (readExactly(*socket, 4, length) &&
                readExactly(*socket, qFromLittleEndian<qint32>(length.constData()), payload))
                m_request = payload;
            script(*socket);
            if (socket->state() == QAbstractSocket::ConnectedState)
                socket->waitForBytesWritten(5000);
            socket->close();
            delete socket;
        });
        m_port = ready.get();
    }
    ~ScriptedServer()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    quint16 port() const { return m_port; }
    QByteArray request()
    {
        if (m_thread.joinable())
            m_thread.join();
        return m_request;
    }

private:
    std::thread m_thread;
    quint16 m_port = 0;
    QByteArray m_request;
};

UpdateChecker makeChecker() = delete;

void identify(UpdateChecker &c, quint16 port)
{
    c.setIdentity("VELM_CLIENT", "25.12.1", "1.2");
    c.setServer(QHostAddress::LocalHost, port);
}

// A server that sends a header and then chunks, each only after the
// client's 4 zero bytes; it records how many acknowledgements it saw.
ScriptedServer::Script chunkedInstaller(const QByteArray &installer, quint32 announced, int chunk, int *acks,
                                        int closeAfterChunks = -1)
{
    return [=](QTcpSocket &s) {
        s.write(frame(QByteArray()));
        s.write(frame(le32(announced) + "ignored"));
        int sent = 0;
        for (int at = 0; at < installer.size(); at += chunk) {
            if (sent == closeAfterChunks)
                return;
            s.write(frame(installer.mid(at, chunk)));
            s.waitForBytesWritten(5000);
            ++sent;
            QByteArray ack;
            if (!readExactly(s, 4, ack) || ack != QByteArray(4, 0))
                return;
            ++*acks;
        }
    };
}

QByteArray pattern(int size)
{
    QByteArray data(size, 0);
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 7 + i / 251) & 0xff);
    return data;
}

QByteArray fileContent(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Sends keep-alives (and, once the size header is out, empty chunks) until
// the client goes away; never a single installer byte.
ScriptedServer::Script nothingButKeepAlives(bool sendHeader)
{
    return [=](QTcpSocket &s) {
        if (sendHeader)
            s.write(frame(le32(100)));
        QElapsedTimer t;
        t.start();
        while (s.state() == QAbstractSocket::ConnectedState && t.elapsed() < 60000) {
            s.write(frame({}));
            s.waitForBytesWritten(1000);
            s.waitForReadyRead(100);
            s.readAll(); // acknowledgements of the empty chunks
        }
    };
}

// Sends the installer one byte per chunk with a pause before each.
ScriptedServer::Script slowInstaller(const QByteArray &installer, int pauseMs)
{
    return [=](QTcpSocket &s) {
        s.write(frame(le32(quint32(installer.size()))));
        for (char c : installer) {
            QThread::msleep(pauseMs);
            s.write(frame({})); // an empty chunk, acknowledged like any other
            s.write(frame(QByteArray(1, c)));
            QByteArray acks;
            if (!readExactly(s, 8, acks))
                return;
        }
    };
}

// Holds a payload half-sent until the client goes away.
ScriptedServer::Script stallInsideChunk()
{
    return [](QTcpSocket &s) {
        s.write(frame(le32(100)));
        s.write(le32(100) + QByteArray(10, 'x'));
        s.waitForBytesWritten(1000);
        while (s.state() == QAbstractSocket::ConnectedState)
            s.waitForReadyRead(100);
    };
}

// Files below a folder, links included, as relative paths.
QStringList filesBelow(const QString &folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(folder).relativeFilePath(it.next());
    return out;
}

// The installer is where only this user can change it: a file of its own
// (not a link) in a folder owned by this user that no one else may enter.
void verifyPrivate(const QString &path)
{
    struct stat st {};
    QVERIFY2(::lstat(QFile::encodeName(path).constData(), &st) == 0, qPrintable(path));
    QVERIFY(S_ISREG(st.st_mode));
    QCOMPARE(st.st_uid, ::geteuid());
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    QVERIFY(::lstat(folder.constData(), &st) == 0);
    QVERIFY(S_ISDIR(st.st_mode));
    QCOMPARE(st.st_uid, ::geteuid());
    QCOMPARE(st.st_mode & 077, 0u);
}

// Runs fn in a child that has become another user (nobody) when the test
// runs as root, in this process otherwise.
bool asOtherUser(const std::function<bool()> &fn)
{
    if (::geteuid() != 0)
        return fn();
    const pid_t child = fork();
    if (child == 0) {
        const bool ok = setgid(65534) == 0 && setuid(65534) == 0 && fn();
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Restores an environment variable when it goes.
class EnvGuard {
public:
    explicit EnvGuard(const char *name) : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_value(qgetenv(name))
    {
    }
    ~EnvGuard()
    {
        if (m_had)
            qputenv(m_name, m_value);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_value;
};

// Receives a cross-thread signal on the test's thread, where the spy reads.
class PathRelay : public QObject {
    Q_OBJECT
signals:
    void ended(QString path);
};

// A download thread for the server at pPort, its end relayed to this thread:
// a spy on the thread's own signal would be written there while this
// thread reads it.
struct DownloadRun {
    explicit DownloadRun(quint16 pPort)
    {
        identify(checker, pPort);
        thread.setUpdateChecker(&checker);
        QObject::connect(&thread, &ThreadDownloadUpdate::sigDownloadUpdateEnded, &relay, &PathRelay::ended,
                         Qt::QueuedConnection);
    }
    UpdateChecker checker;
    ThreadDownloadUpdate thread;
    PathRelay relay;
    QSignalSpy ended{&relay, &PathRelay::ended};
};

} // namespace

class TestUpdateChecker : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        // Every test runs with a private runtime folder (scripts/run-test.sh).
        QVERIFY(!UpdateChecker::installerPath().isEmpty());
        QDir(QFileInfo(UpdateChecker::installerPath()).absolutePath()).removeRecursively();
    }

    void requestText()
    {
        ScriptedServer server([](QTcpSocket &s) { s.write(frame(QByteArray("\x00", 1))); });
        UpdateChecker checker;
        identify(checker, server.port());
        QVERIFY(checker.check());
        const QByteArray text = server.request();
        // jsoncpp's styled layout: three-space indent, " : ", keys sorted.
        QVERIFY2(text.startsWith("{\n   \"action\" : \"check\",\n   \"applicationName\" : \"VELM_CLIENT\""), text);
        const QJsonObject o = QJsonDocument::fromJson(text).object();
        QCOMPARE(o.value("connection_type").toString(), QString("CLIENT_UPDATE"));
        QCOMPARE(o.value("connection_protocol").toInt(), 1);
        QCOMPARE(o.value("applicationVersion").toString(), QString("25.12.1"));
        QCOMPARE(o.value("protocolVersion").toString(), QString("1.2"));
        QCOMPARE(o.value("platformName").toString(), QString("linux"));
        QCOMPARE(o.size(), 7);
        QVERIFY(checker.request("get").contains("\"action\" : \"get\""));
    }

    void answers_data()
    {
        QTest::addColumn<QByteArray>("reply"); // raw bytes the server sends
        QTest::addColumn<bool>("answered");
        QTest::addColumn<int>("status"); // starting from UpdateAvailable
        QTest::newRow("0 up to date") << frame(QByteArray("\x00", 1)) << true << 0;
        QTest::newRow("1 available") << frame("\x01") << true << 2;
        QTest::newRow("2 required") << frame("\x02") << true << 1;
        QTest::newRow("3 too recent") << frame("\x03") << true << 3;
        QTest::newRow("4 no update") << frame("\x04") << true << 4;
        QTest::newRow("9 unknown") << frame("\x09") << true << 2;
        QTest::newRow("keep-alives first") << frame({}) + frame({}) + frame("\x02") << true << 1;
        QTest::newRow("length 5, one byte read") << frame("\x03zzzz") << true << 3;
        QTest::newRow("closed without answer") << QByteArray() << false << 2;
        QTest::newRow("only keep-alives") << frame({}) << false << 2;
    }
    void answers()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, answered);
        QFETCH(int, status);
        UpdateChecker checker;
        {
            ScriptedServer first([](QTcpSocket &s) { s.write(frame("\x01")); });
            identify(checker, first.port());
            QVERIFY(checker.check());
        }
        QCOMPARE(checker.status(), 2);
        ScriptedServer server([reply](QTcpSocket &s) { s.write(reply); });
        checker.setServer(QHostAddress::LocalHost, server.port());
        QCOMPARE(checker.check(), answered);
        QCOMPARE(checker.status(), status);
    }

    void unreachableServerFails()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        UpdateChecker checker;
        identify(checker, port);
        QVERIFY(!checker.check());
        QVERIFY(checker.download().isEmpty());
        QCOMPARE(checker.status(), 0);
    }

    void downloadInChunks()
    {
        const QByteArray installer = pattern(120000);
        int acks = 0;
        // An installer left by an earlier download is replaced.
        QDir().mkpath(QFileInfo(UpdateChecker::installerPath()).absolutePath());
        QFile old(UpdateChecker::installerPath());
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an older installer that is longer than nothing");
        old.close();

        ScriptedServer server(chunkedInstaller(installer, installer.size(), 16384, &acks));
        UpdateChecker checker;
        identify(checker, server.port());
        const QString path = checker.download();
        QCOMPARE(path, UpdateChecker::installerPath());
        QVERIFY(path.endsWith("/VelmorantClient/updater"));
        QVERIFY(fileContent(path) == installer);
        server.request();
        QCOMPARE(acks, (120000 + 16383) / 16384);
    }

    void downloadOfNothingSavesEmptyFile()
    {
        int acks = 0;
        ScriptedServer server(chunkedInstaller({}, 0, 1, &acks));
        UpdateChecker checker;
        identify(checker, server.port());
        const QString path = checker.download();
        QVERIFY(!path.isEmpty());
        QCOMPARE(fileContent(path), QByteArray());
    }

    void failedDownloadsLeaveNothing_data()
    {
        QTest::addColumn<int>("announced");
        QTest::addColumn<int>("closeAfterChunks");
        QTest::newRow("more than announced") << 1000 << -1;
        QTest::newRow("closed midway") << 5000 << 2;
    }
    void failedDownloadsLeaveNothing()
    {
        QFETCH(int, announced);
        QFETCH(int, closeAfterChunks);
        int acks = 0;
        ScriptedServer server(chunkedInstaller(pattern(5000), announced, 1500, &acks, closeAfterChunks));
        UpdateChecker checker;
        identify(checker, server.port());
        QCOMPARE(checker.download(), QString());
        QVERIFY(!QFile::exists(UpdateChecker::installerPath()));
    }

    void threadReportsPath()
    {
        int acks = 0;
        ScriptedServer server(chunkedInstaller(pattern(3000), 3000, 1000, &acks));
        DownloadRun run(server.port());
        run.thread.start();
        QVERIFY(run.ended.wait(10000));
        QCOMPARE(run.ended.first().first().toString(), UpdateChecker::installerPath());
        run.thread.waitForStop();
    }

    void downloadStreamLayout_data()
    {
        // Bytes as the server sends them, fed one at a time; what the
        // reader makes of them: i installer byte, A acknowledge (4 zero
        // bytes back), D done, F refused.
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QByteArray>("installer");
        QTest::newRow("keep-alive, size 3, chunks of 2, 0 and 1") << QByteArray::fromHex("00000000"
                                                                                         "0400000003000000"
                                                                                         "020000006162"
                                                                                         "00000000"
                                                                                         "0100000063")
                                                                  << "iiAAiAD" << QByteArray("abc");
        QTest::newRow("size header with extra bytes") << QByteArray::fromHex("0600000001000000ffff"
                                                                             "0100000078")
                                                      << "iAD" << QByteArray("x");
        QTest::newRow("size 0") << QByteArray::fromHex("0400000000000000") << "D" << QByteArray();
        QTest::newRow("size header of 3 bytes") << QByteArray::fromHex("03000000010000") << "F" << QByteArray();
        QTest::newRow("negative size header") << QByteArray::fromHex("ffffffff") << "F" << QByteArray();
        QTest::newRow("chunk beyond the size")
            << QByteArray::fromHex("04000000010000000200000061") << "F" << QByteArray();
        QTest::newRow("negative chunk") << QByteArray::fromHex("0400000005000000feffffff") << "F" << QByteArray();
    }
    void downloadStreamLayout()
    {
        QFETCH(QByteArray, bytes);
        DownloadStreamReader reader;
        QString steps;
        QByteArray installer;
        for (int i = 0; i < bytes.size() && reader.wanted() > 0; ++i) {
            const DownloadStreamReader::Step step = reader.push(bytes.constData() + i, 1);
            if (step.installerBytes) {
                steps += 'i';
                installer += bytes.at(i);
            }
            steps += QString(step.chunkEnded ? "A" : "") + (step.done ? "D" : "") + (step.failure ? "F" : "");
        }
        QTEST(steps, "steps");
        QTEST(installer, "installer");
        QCOMPARE(reader.wanted(), 0);
    }

    void checkAnswerLayout_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("consumed"); // bytes taken before the answer; -1 none
        QTest::addColumn<int>("answer");
        QTest::newRow("answer") << QByteArray::fromHex("0100000002") << 5 << 2;
        QTest::newRow("keep-alives first") << QByteArray::fromHex("000000000000000001000000"
                                                                  "04")
                                           << 13 << 4;
        QTest::newRow("length 5, the rest unread") << QByteArray::fromHex("0500000003ffffffff") << 5 << 3;
        QTest::newRow("negative length still announces") << QByteArray::fromHex("ffffffff01") << 5 << 1;
        QTest::newRow("only keep-alives") << QByteArray::fromHex("0000000000000000") << -1 << 0;
    }
    void checkAnswerLayout()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, consumed);
        UpdateCheckAnswerReader reader;
        int at = 0;
        while (at < bytes.size() && !reader.answered())
            reader.push(bytes.constData() + at++, 1);
        QCOMPARE(reader.answered() ? at : -1, consumed);
        if (reader.answered())
            QTEST(int(reader.answer()), "answer");
    }

    void checkEndsWithinItsLimit()
    {
        // Keep-alives forever: the check gives up at its answer limit.
        ScriptedServer server(nothingButKeepAlives(false));
        UpdateChecker checker;
        identify(checker, server.port());
        QElapsedTimer t;
        t.start();
        QVERIFY(!checker.check());
        QVERIFY2(t.elapsed() < UpdateChecker::kCheckAnswerLimitMs + 3000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(checker.status(), 0);
    }

    void stalledDownloadsFailAndLeaveNothing_data()
    {
        QTest::addColumn<int>("script"); // 0 keep-alives before the header, 1 after it, 2 stall inside a chunk
        QTest::newRow("keep-alives instead of the size header") << 0;
        QTest::newRow("keep-alives and empty chunks") << 1;
        QTest::newRow("chunk stalls halfway") << 2;
    }
    void stalledDownloadsFailAndLeaveNothing()
    {
        QFETCH(int, script);
        ScriptedServer server(script == 2 ? stallInsideChunk() : nothingButKeepAlives(script == 1));
        UpdateChecker checker;
        identify(checker, server.port());
        checker.setTimeLimits(1000, 1000, 1000);
        QCOMPARE(checker.download(), QString());
        QVERIFY(!QFile::exists(UpdateChecker::installerPath()));
        QCOMPARE(filesBelow(QDir::tempPath()), QStringList());
        QCOMPARE(filesBelow(qEnvironmentVariable("XDG_RUNTIME_DIR")), QStringList());
    }

    void slowDownloadThatProgressesSucceeds()
    {
        // Each installer byte renews the stall limit: 8 bytes, 200 ms apart,
        // against a limit of 1500 ms.
        const QByteArray installer("abcdefgh");
        ScriptedServer server(slowInstaller(installer, 200));
        UpdateChecker checker;
        identify(checker, server.port());
        checker.setTimeLimits(1000, 1000, 1500);
        const QString path = checker.download();
        QCOMPARE(path, UpdateChecker::installerPath());
        QCOMPARE(fileContent(path), installer);
    }

    void keepAlivesAreNoProgressForThirtySeconds()
    {
        // The real limit, once: keep-alives and empty chunks do not hold the
        // download past 30 s of no installer bytes, and do not end it sooner.
        ScriptedServer server(nothingButKeepAlives(true));
        UpdateChecker checker;
        identify(checker, server.port());
        QElapsedTimer t;
        t.start();
        QCOMPARE(checker.download(), QString());
        QVERIFY2(t.elapsed() >= UpdateChecker::kDownloadStallLimitMs, qPrintable(QString::number(t.elapsed())));
        QVERIFY2(t.elapsed() < UpdateChecker::kDownloadStallLimitMs + 10000, qPrintable(QString::number(t.elapsed())));
        QVERIFY(!QFile::exists(UpdateChecker::installerPath()));
    }

    void stopEndsARunningDownload()
    {
        ScriptedServer server(stallInsideChunk());
        DownloadRun run(server.port());
        run.thread.start();
        // Wait until the installer file exists, so the stop meets a download
        // that has something to clean up.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(UpdateChecker::installerPath()), 10000);
        run.thread.requestStop();
        QVERIFY(run.ended.wait(5000));
        QCOMPARE(run.ended.first().first().toString(), QString());
        QVERIFY(run.thread.wait(5000));
        QVERIFY(!QFile::exists(UpdateChecker::installerPath()));
    }

    void installerLandsInAPrivateFolder_data()
    {
        // What stands where a download could be led astray. The planted
        // things belong to another user when the test runs as root.
        QTest::addColumn<QString>("runtime");  // "ok", "unset", "shared", "link"
        QTest::addColumn<bool>("plantTemp");   // <temp>/VelmorantClient, world-writable, a link as "updater"
        QTest::addColumn<bool>("plantInside"); // a link as the installer inside the runtime folder
        QTest::addColumn<bool>("fixedPlace");  // the installer goes to <runtime>/VelmorantClient
        QTest::newRow("private runtime folder") << "ok" << true << false << true;
        QTest::newRow("link in place of the installer") << "ok" << false << true << true;
        QTest::newRow("no runtime folder") << "unset" << true << false << false;
        QTest::newRow("shared runtime folder") << "shared" << true << false << false;
        QTest::newRow("runtime folder is a link") << "link" << true << false << false;
        QTest::newRow("runtime subfolder is someone else's") << "foreign" << true << false << false;
    }
    void installerLandsInAPrivateFolder()
    {
        QFETCH(QString, runtime);
        QFETCH(bool, plantTemp);
        QFETCH(bool, plantInside);
        QFETCH(bool, fixedPlace);
        EnvGuard tmpGuard("TMPDIR");
        EnvGuard runtimeGuard("XDG_RUNTIME_DIR");

        // A temporary folder like /tmp: everyone may create in it.
        QTemporaryDir shared(QStringLiteral("/tmp/velmorant-update-XXXXXX"));
        QVERIFY(shared.isValid());
        QVERIFY(::chmod(QFile::encodeName(shared.path()).constData(), 01777) == 0);
        const QString temp = shared.filePath("tmp");
        const QString victim = shared.filePath("victim");
        QVERIFY(QDir().mkpath(temp));
        QVERIFY(::chmod(QFile::encodeName(temp).constData(), 01777) == 0);
        {
            QFile v(victim);
            QVERIFY(v.open(QIODevice::WriteOnly));
            v.write("precious");
        }
        QVERIFY(::chmod(QFile::encodeName(victim).constData(), 0666) == 0);
        qputenv("TMPDIR", QFile::encodeName(temp));

        const QString planted = temp + "/VelmorantClient";
        if (plantTemp) {
            QVERIFY(asOtherUser([&] {
                const QByteArray folder = QFile::encodeName(planted);
                return ::mkdir(folder.constData(), 0777) == 0 && ::chmod(folder.constData(), 0777) == 0 &&
                       ::symlink(QFile::encodeName(victim).constData(), (folder + "/updater").constData()) == 0;
            }));
        }

        const QString own = shared.filePath("runtime");
        QVERIFY(QDir().mkpath(own));
        QVERIFY(::chmod(QFile::encodeName(own).constData(), 0700) == 0);
        if (runtime == "ok" || runtime == "foreign") {
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(own));
        } else if (runtime == "unset") {
            qunsetenv("XDG_RUNTIME_DIR");
        } else if (runtime == "shared") {
            QVERIFY(::chmod(QFile::encodeName(own).constData(), 0777) == 0);
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(own));
        } else if (runtime == "link") {
            QVERIFY(QFile::link(own, shared.filePath("runtime-link")));
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(shared.filePath("runtime-link")));
        }
        if (runtime == "foreign") {
            // Its folder name taken by another user's world-writable folder.
            if (::geteuid() != 0)
                QSKIP("only root can give a folder to another user");
            const QByteArray folder = QFile::encodeName(own + "/VelmorantClient");
            QVERIFY(::mkdir(folder.constData(), 0777) == 0 && ::chmod(folder.constData(), 0777) == 0);
            QVERIFY(::chown(folder.constData(), 65534, 65534) == 0);
        }
        if (plantInside) {
            QVERIFY(QDir().mkpath(own + "/VelmorantClient"));
            QVERIFY(QFile::link(victim, own + "/VelmorantClient/updater"));
        }

        const QByteArray installer = pattern(5000);
        int acks = 0;
        ScriptedServer server(chunkedInstaller(installer, installer.size(), 2000, &acks));
        UpdateChecker checker;
        identify(checker, server.port());
        const QString path = checker.download();
        QVERIFY(!path.isEmpty());
        QCOMPARE(fileContent(path), installer);
        verifyPrivate(path);
        if (fixedPlace) {
            QCOMPARE(path, own + "/VelmorantClient/updater");
            QCOMPARE(UpdateChecker::installerPath(), path);
        } else {
            QCOMPARE(UpdateChecker::installerPath(), QString());
            QVERIFY2(QFileInfo(path).absolutePath().startsWith(temp + "/VelmorantClient-"), qPrintable(path));
        }
        // The planted things are untouched.
        QCOMPARE(fileContent(victim), QByteArray("precious"));
        if (plantTemp) {
            QCOMPARE(QFileInfo(planted + "/updater").symLinkTarget(), victim);
            QCOMPARE(filesBelow(planted), QStringList{"updater"});
        }
        if (runtime == "foreign")
            QCOMPARE(filesBelow(own + "/VelmorantClient"), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestUpdateChecker)
#include "tst_updatechecker.moc"
