// SPDX-License-Identifier: GPL-2.0-or-later
// Network configuration: keys, "servers" entries, file locations and the
// encrypted form. Encrypted fixtures were made with the openssl command-line
// tool, independently of our own cipher code.
#include <network/networkconfiguration.h>
#include <network/networkfilecipher.h>
#include <network/serverfinder.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Kiv::Network;

namespace {

// printf '<json>' | openssl enc -aes-256-cbc -K <hex key> -iv 000102030405060708090a0b0c0d0e0f
const QByteArray kGoldenJson = R"({"broadcast":true,"tcpPort":20000,"servers":["10.0.0.5","10.0.0.6:20001"]})";
const QByteArray kGoldenFile = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f"
                                                   "e6e914903d473a5caf6c08b26a0e3c865f1509dcd4732a72685683223b7eea8b"
                                                   "f21444fa8f200072f2017de6aa890639d729bf4edc884b98693a6e87581f0ba4"
                                                   "dfc56553eb89e769f3f20335783be311");
// The same for '{"multicast":true}' under the vector 0f0e...00.
const QByteArray kMulticastFile =
    QByteArray::fromHex("0f0e0d0c0b0a09080706050403020100"
                        "92064c235587eef799edcec7552c5001b65ff35b8010203e4a10d2b836ba6e3f");

QStringList describe(const QList<NetworkConfiguration::Server> &servers)
{
    QStringList out;
    for (const NetworkConfiguration::Server &s : servers)
        out << s.host + ':' + QString::number(s.port);
    return out;
}

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

} // namespace

class TstNetworkConfiguration : public QObject {
    Q_OBJECT
private slots:
    void keys_data();
    void keys();
    void location_data();
    void location();
    void decryption_data();
    void decryption();
    void encryptionMatchesOpenssl();
    void finderLoadsEncryptedWorkingDirectoryFile();
    void finderResolvesHostNamesWithLaterPort();
};

void TstNetworkConfiguration::keys_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("broadcast");
    QTest::addColumn<bool>("multicast");
    QTest::addColumn<QString>("multicastAddress");
    QTest::addColumn<int>("tcpPort");
    QTest::addColumn<bool>("udpUnicast");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QStringList>("names");

    const QString group = "239.42.33.63";
    QTest::newRow("empty text") << QByteArray() << false << false << group << 18413 << false << QStringList()
                                << QStringList();
    QTest::newRow("no keys") << QByteArray(R"({"other":1})") << false << false << group << 18413 << false
                             << QStringList() << QStringList();
    QTest::newRow("not an object") << QByteArray("[true]") << false << false << group << 18413 << false << QStringList()
                                   << QStringList();
    QTest::newRow("all keys")
        << QByteArray(R"({"broadcast":true,"multicast":true,"multicastAddress":"239.1.2.3","tcpPort":20000,)"
                      R"("udpUnicast":true,"servers":["10.0.0.5","10.0.0.6:20001"]})")
        << true << true << "239.1.2.3" << 20000 << true << QStringList{"10.0.0.5:20000", "10.0.0.6:20001"}
        << QStringList();
    QTest::newRow("switches not boolean")
        << QByteArray(R"({"broadcast":"true","multicast":1,"udpUnicast":null})") << false << false << group << 18413
        << false << QStringList() << QStringList();
    QTest::newRow("default port and own port")
        << QByteArray(R"({"servers":["10.0.0.5","10.0.0.6:20000"]})") << false << false << group << 18413 << false
        << QStringList{"10.0.0.5:18413", "10.0.0.6:20000"} << QStringList();
    QTest::newRow("tcpPort as string gives 0")
        << QByteArray(R"({"tcpPort":"18413","servers":["10.0.0.5"]})") << false << false << group << 0 << false
        << QStringList{"10.0.0.5:0"} << QStringList();
    QTest::newRow("tcpPort applies before servers whatever the text order")
        << QByteArray(R"({"servers":["10.0.0.5"],"tcpPort":1234})") << false << false << group << 1234 << false
        << QStringList{"10.0.0.5:1234"} << QStringList();
    QTest::newRow("piece above 255 is a name") << QByteArray(R"({"servers":["10.0.0.256"]})") << false << false << group
                                               << 18413 << false << QStringList() << QStringList{"10.0.0.256:18413"};
    QTest::newRow("IPv6 literal cut at first colon")
        << QByteArray(R"({"servers":["fe80::1"]})") << false << false << group << 18413 << false << QStringList()
        << QStringList{"fe80:0"};
    QTest::newRow("non-numeric port gives 0") << QByteArray(R"({"servers":["10.0.0.5:abc:7"]})") << false << false
                                              << group << 18413 << false << QStringList{"10.0.0.5:0"} << QStringList();
    QTest::newRow("host names keep their entry's port")
        << QByteArray(R"({"servers":["room.example:1000","room.example:2000","10.1.2.3"]})") << false << false << group
        << 18413 << false << QStringList{"10.1.2.3:18413"} << QStringList{"room.example:1000", "room.example:2000"};
}

void TstNetworkConfiguration::keys()
{
    QFETCH(QByteArray, json);
    const NetworkConfiguration c = NetworkConfiguration::fromJson(json);
    QTEST(c.broadcast, "broadcast");
    QTEST(c.multicast, "multicast");
    QTEST(c.multicastAddress, "multicastAddress");
    QTEST(c.tcpPort, "tcpPort");
    QTEST(c.udpUnicast, "udpUnicast");
    QTEST(describe(c.addressServers), "addresses");
    QTEST(describe(c.namedServers), "names");
}

void TstNetworkConfiguration::location_data()
{
    // Which of the four files exist (working dir encrypted, machine encrypted,
    // working dir plain, machine plain), and which one is read.
    QTest::addColumn<QString>("present");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("encrypted");
    QTest::newRow("all four") << "wE mE wP mP"
                              << "work/network" << true;
    QTest::newRow("working dir network beats machine files") << "wE mE mP"
                                                             << "work/network" << true;
    QTest::newRow("machine network beats plain files") << "mE wP mP"
                                                       << "machine/Velmorant Client/network" << true;
    QTest::newRow("working dir plain beats machine plain") << "wP mP"
                                                           << "work/network.json" << false;
    QTest::newRow("machine plain alone") << "mP"
                                         << "machine/Velmorant Client/network.json" << false;
    QTest::newRow("none") << ""
                          << "" << false;
}

void TstNetworkConfiguration::location()
{
    QFETCH(QString, present);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString work = dir.filePath("work");
    const QString machine = dir.filePath("machine");
    QDir().mkpath(work);
    const QStringList files = present.split(' ', Qt::SkipEmptyParts);
    const QMap<QString, QString> paths{{"wE", work + "/network"},
                                       {"mE", machine + "/Velmorant Client/network"},
                                       {"wP", work + "/network.json"},
                                       {"mP", machine + "/Velmorant Client/network.json"}};
    for (const QString &f : files)
        writeFile(paths.value(f), "{}");
    bool encrypted = false;
    const QString found = NetworkConfiguration::locate(work, machine, &encrypted);
    QCOMPARE(found, expected.isEmpty() ? QString() : dir.filePath(expected));
    if (!expected.isEmpty())
        QTEST(encrypted, "encrypted");
    // Without a machine folder its entries do not exist.
    QVERIFY(!NetworkConfiguration::locate(work, QString(), &encrypted).startsWith(machine));
}

void TstNetworkConfiguration::decryption_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<bool>("broadcast");
    QTest::newRow("openssl file") << kGoldenFile << kGoldenJson << true;
    QTest::newRow("last block cut short") << kGoldenFile.left(kGoldenFile.size() - 5) << QByteArray() << false;
    QTest::newRow("last block missing") << kGoldenFile.left(kGoldenFile.size() - 16) << QByteArray("-") << false;
    QTest::newRow("vector only") << kGoldenFile.left(16) << QByteArray() << false;
    QTest::newRow("shorter than a vector") << kGoldenFile.left(7) << QByteArray() << false;
    QTest::newRow("empty") << QByteArray() << QByteArray() << false;
    QTest::newRow("plain JSON read as encrypted") << kGoldenJson << QByteArray() << false;
    QByteArray corrupted = kGoldenFile;
    corrupted[20] = char(corrupted[20] ^ 0x55);
    QTest::newRow("corrupted first block") << corrupted << QByteArray("-") << false;
}

void TstNetworkConfiguration::decryption()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, plain);
    const QByteArray text = decryptNetworkFile(file, networkFileKey());
    if (plain != "-")
        QCOMPARE(text, plain);
    QTEST(NetworkConfiguration::fromJson(text).broadcast, "broadcast");
    // Another key never yields the configuration.
    const QByteArray wrong = decryptNetworkFile(file, std::string(32, 'x'));
    QVERIFY(!NetworkConfiguration::fromJson(wrong).broadcast);
}

void TstNetworkConfiguration::encryptionMatchesOpenssl()
{
    QCOMPARE(encryptNetworkFile(kGoldenJson, networkFileKey(), kGoldenFile.left(16)), kGoldenFile);
    QCOMPARE(encryptNetworkFile("{\"multicast\":true}", networkFileKey(), kMulticastFile.left(16)), kMulticastFile);
    QVERIFY(randomNetworkFileIv() != randomNetworkFileIv());
    QCOMPARE(randomNetworkFileIv().size(), 16);
}

void TstNetworkConfiguration::finderLoadsEncryptedWorkingDirectoryFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString machine = dir.filePath("machine");
    qputenv("XDG_DATA_DIRS", machine.toLocal8Bit());
    QCOMPARE(QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation).value(1), machine);
    writeFile(dir.filePath("work/network"), kGoldenFile);
    writeFile(machine + "/Velmorant Client/network", kMulticastFile);
    writeFile(machine + "/Velmorant Client/network.json", R"({"udpUnicast":true})");
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.filePath("work")));
    const QDateTime before = QDateTime::currentDateTime();
    ServerFinder finder(0);
    QDir::setCurrent(previous);

    const NetworkConfiguration c = finder.networkConfiguration();
    QVERIFY(c.broadcast);
    QVERIFY(!c.multicast);
    QVERIFY(!c.udpUnicast);
    const QList<ConfiguredServer> servers = finder.configuredServers();
    QCOMPARE(servers.size(), 2);
    QCOMPARE(servers.at(0).host, QString("10.0.0.5"));
    QCOMPARE(servers.at(0).port, 20000);
    QCOMPARE(servers.at(1).host, QString("10.0.0.6"));
    QCOMPARE(servers.at(1).port, 20001);
    for (const ConfiguredServer &s : servers) {
        // Due at once: one day before loading.
        const qint64 age = s.lastTest.secsTo(before);
        QVERIFY2(age >= 86390 && age <= 86410, qPrintable(QString::number(age)));
    }
    qunsetenv("XDG_DATA_DIRS");
}

void TstNetworkConfiguration::finderResolvesHostNamesWithLaterPort()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    qputenv("XDG_DATA_DIRS", dir.filePath("machine").toLocal8Bit());
    writeFile(dir.filePath("network.json"), R"({"servers":["localhost:1000","127.0.0.9","localhost:2000"]})");
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    ServerFinder finder(0);
    QDir::setCurrent(previous);
    QCOMPARE(finder.configuredServers().size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(finder.configuredServers().size(), 3, 20000);
    const QList<ConfiguredServer> servers = finder.configuredServers();
    QCOMPARE(servers.at(0).host, QString("127.0.0.9"));
    QCOMPARE(servers.at(0).port, 18413);
    for (int i = 1; i < 3; ++i) {
        QCOMPARE(servers.at(i).host, QString("127.0.0.1"));
        QCOMPARE(servers.at(i).port, 2000);
    }
    qunsetenv("XDG_DATA_DIRS");
}

QTEST_GUILESS_MAIN(TstNetworkConfiguration)
#include "tst_networkconfiguration.moc"
