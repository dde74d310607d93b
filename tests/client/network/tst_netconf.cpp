// SPDX-License-Identifier: GPL-2.0-or-later
// velmorant-netconf interoperates with "openssl enc -aes-256-cbc" both ways,
// and the client reads what it writes.
#include <network/networkconfiguration.h>
#include <network/networkfilecipher.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace Kiv::Network;

namespace {

const QByteArray kKeyHex = "516d37547a5232705776394b6358346e487338644c623359664a36674e613145";

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(30000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

} // namespace

class TstNetconf : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void toolFileDecryptsWithOpenssl_data();
    void toolFileDecryptsWithOpenssl();
    void opensslFileDecryptsWithTool();
    void rejectsBadInput();

private:
    QString m_tool;
    QTemporaryDir m_dir;
};

void TstNetconf::initTestCase()
{
    m_tool = qEnvironmentVariable("VELMORANT_NETCONF");
    QVERIFY2(QFile::exists(m_tool), "VELMORANT_NETCONF names the tool");
    QVERIFY(m_dir.isValid());
    if (QStandardPaths::findExecutable("openssl").isEmpty())
        QSKIP("openssl command-line tool not installed");
}

void TstNetconf::toolFileDecryptsWithOpenssl_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("small") << QByteArray(R"({"broadcast": true})");
    QTest::newRow("one full block") << QByteArray(R"({"multicast":true})"); // 18 bytes: two blocks
    QTest::newRow("exactly 32 bytes") << QByteArray(R"({"servers":["10.0.0.5:20000"]} )");
    QTest::newRow("with line feeds") << QByteArray("{\n  \"udpUnicast\": true,\n  \"servers\": [\"a.b\"]\n}\n");
}

void TstNetconf::toolFileDecryptsWithOpenssl()
{
    QFETCH(QByteArray, json);
    const QString in = m_dir.filePath("in.json");
    const QString out = m_dir.filePath("network");
    writeAll(in, json);
    QCOMPARE(run(m_tool, {"encrypt", in, out}).exitCode, 0);
    const QByteArray file = readAll(out);
    QCOMPARE(file.size(), 16 + (json.size() / 16 + 1) * 16);

    writeAll(m_dir.filePath("cipher"), file.mid(16));
    const Run openssl = run("openssl", {"enc", "-d", "-aes-256-cbc", "-K", kKeyHex, "-iv", file.left(16).toHex(), "-in",
                                        m_dir.filePath("cipher")});
    QCOMPARE(openssl.exitCode, 0);
    QCOMPARE(openssl.out, json);
    QCOMPARE(decryptNetworkFile(file, networkFileKey()), json);

    // A fresh vector every time.
    QCOMPARE(run(m_tool, {"encrypt", in, out + "2"}).exitCode, 0);
    QVERIFY(readAll(out + "2").left(16) != file.left(16));
}

void TstNetconf::opensslFileDecryptsWithTool()
{
    const QByteArray json = R"({"udpUnicast":true,"servers":["10.0.0.5","10.0.0.6:20000"]})";
    const QByteArray iv = randomNetworkFileIv();
    writeAll(m_dir.filePath("plain"), json);
    const Run openssl = run("openssl", {"enc", "-aes-256-cbc", "-K", kKeyHex, "-iv", iv.toHex(), "-in",
                                        m_dir.filePath("plain"), "-out", m_dir.filePath("cipher")});
    QCOMPARE(openssl.exitCode, 0);
    writeAll(m_dir.filePath("network"), iv + readAll(m_dir.filePath("cipher")));

    const Run tool = run(m_tool, {"decrypt", m_dir.filePath("network")});
    QCOMPARE(tool.exitCode, 0);
    QCOMPARE(tool.out.trimmed(), json);

    // The client reads it from its working directory.
    const NetworkConfiguration c =
        NetworkConfiguration::fromJson(NetworkConfiguration::readText(m_dir.path(), QString(), networkFileKey()));
    QVERIFY(c.udpUnicast);
    QCOMPARE(c.addressServers.size(), 2);
}

void TstNetconf::rejectsBadInput()
{
    writeAll(m_dir.filePath("bad.json"), "not json");
    QCOMPARE(run(m_tool, {"encrypt", m_dir.filePath("bad.json"), m_dir.filePath("x")}).exitCode, 1);
    QVERIFY(!QFile::exists(m_dir.filePath("x")));

    // Made with another key: the tool says so instead of printing garbage.
    writeAll(m_dir.filePath("plain"), R"({"broadcast":true})");
    const QByteArray otherKey(64, 'a');
    QCOMPARE(run("openssl", {"enc", "-aes-256-cbc", "-K", otherKey, "-iv", QByteArray(32, '0'), "-in",
                             m_dir.filePath("plain"), "-out", m_dir.filePath("cipher")})
                 .exitCode,
             0);
    writeAll(m_dir.filePath("other"), QByteArray(16, '\0') + readAll(m_dir.filePath("cipher")));
    const Run wrong = run(m_tool, {"decrypt", m_dir.filePath("other")});
    QCOMPARE(wrong.exitCode, 1);
    QVERIFY(wrong.out.isEmpty());

    writeAll(m_dir.filePath("short"), "0123456789");
    QCOMPARE(run(m_tool, {"decrypt", m_dir.filePath("short")}).exitCode, 1);
    QCOMPARE(run(m_tool, {"decrypt", m_dir.filePath("missing")}).exitCode, 1);
    QCOMPARE(run(m_tool, {"frobnicate"}).exitCode, 2);
}

QTEST_GUILESS_MAIN(TstNetconf)
#include "tst_netconf.moc"
