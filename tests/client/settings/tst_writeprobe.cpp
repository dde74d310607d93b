// SPDX-License-Identifier: GPL-2.0-or-later
// The write probe against the real file system: a new file is created empty,
// an existing one keeps its content, and places no one can write answer no.
// Runs as root in CI, so "unwritable" is made of paths nobody can create.
#include "writeprobe.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using Velmorant::WriteProbe;

class TestWriteProbe : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString path(const QString &pRelative) const { return m_dir.filePath(pRelative); }
    static QByteArray content(const QString &pPath)
    {
        QFile file(pPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QFile existing(path("existing.json"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("kept");
        existing.close();
        QVERIFY(QDir().mkpath(path("folder.json")));
        QFile blocker(path("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }

    void canWrite_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QByteArray>("afterwards"); // the file's content, or "<unreadable>"
        QTest::newRow("new file") << "new.json" << true << QByteArray("");
        QTest::newRow("existing file") << "existing.json" << true << QByteArray("kept");
        QTest::newRow("folder in its place") << "folder.json" << false << QByteArray("<unreadable>");
        QTest::newRow("parent is a file") << "blocker/new.json" << false << QByteArray("<unreadable>");
        QTest::newRow("missing folder") << "missing/new.json" << false << QByteArray("<unreadable>");
    }
    void canWrite()
    {
        QFETCH(QString, relative);
        QFETCH(bool, writable);
        QFETCH(QByteArray, afterwards);
        QCOMPARE(WriteProbe::canWrite(path(relative)), writable);
        QCOMPARE(content(path(relative)), afterwards);
        QVERIFY(!QFileInfo::exists(path("missing"))); // the probe makes no folders
    }

    void specialFilesAreRefusedWithoutOpening()
    {
        // Opening this FIFO for writing would wait for a reader forever.
        const QString fifo = path("fifo.json");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(!WriteProbe::canWrite(fifo));
        QVERIFY(!WriteProbe::canWrite(QStringLiteral("/dev/null")));
        QVERIFY(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
    }

    void programDataIsTheMachineWideDataFolder()
    {
        qputenv("XDG_DATA_DIRS", path("machine").toLocal8Bit() + ':' + path("other").toLocal8Bit());
        QCOMPARE(WriteProbe::programDataPath(), path("machine"));
    }
};

QTEST_GUILESS_MAIN(TestWriteProbe)
#include "tst_writeprobe.moc"
