// SPDX-License-Identifier: GPL-2.0-or-later
// The elevated relaunch: the arguments the copy gets, and the outcome of a
// start through a pkexec on PATH that records what it was given and answers
// with a chosen status.
#include "constants.h"
#include "elevatedrelaunch.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using Velmorant::ElevatedRelaunch;
using Velmorant::Platform::ElevationResult;

Q_DECLARE_METATYPE(ElevationResult)

class TestElevatedRelaunch : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString path(const QString &pRelative) const { return m_dir.filePath(pRelative); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir().mkpath(path("fakebin")));
        QFile pkexec(path("fakebin/pkexec"));
        QVERIFY(pkexec.open(QIODevice::WriteOnly));
        pkexec.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$FAKE_PKEXEC_RECORD\"\nexit \"$FAKE_PKEXEC_STATUS\"\n");
        pkexec.close();
        QVERIFY(QFile::setPermissions(path("fakebin/pkexec"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("PATH", path("fakebin").toLocal8Bit() + ':' + qgetenv("PATH"));
        qputenv("FAKE_PKEXEC_RECORD", path("record.txt").toLocal8Bit());
    }

    void arguments_data()
    {
        const QString marker = QLatin1String(Velmorant::kElevatedRelaunchMarker);
        QTest::addColumn<QStringList>("given");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("program only") << QStringList{"/opt/v/client"} << QStringList{marker};
        QTest::newRow("nothing at all") << QStringList{} << QStringList{marker};
        QTest::newRow("arguments kept in order") << QStringList{"/opt/v/client", "--flag", "with blank", ""}
                                                 << QStringList{"--flag", "with blank", "", marker};
        QTest::newRow("marker once, at the end")
            << QStringList{"/opt/v/client", marker, "--flag", marker} << QStringList{"--flag", marker};
        QTest::newRow("program name is not an argument") << QStringList{marker, "x"} << QStringList{"x", marker};
    }
    void arguments()
    {
        QFETCH(QStringList, given);
        QFETCH(QStringList, expected);
        QStringList got;
        for (const std::wstring &argument : ElevatedRelaunch::arguments(given))
            got << QString::fromStdWString(argument);
        QCOMPARE(got, expected);
    }

    void start_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<ElevationResult>("result");
        QTest::newRow("authorised") << 0 << ElevationResult::Started;
        QTest::newRow("dismissed") << 126 << ElevationResult::Cancelled;
        QTest::newRow("not authorised") << 127 << ElevationResult::Failed;
        QTest::newRow("error") << 1 << ElevationResult::Failed;
    }
    void start()
    {
        QFETCH(int, status);
        QFETCH(ElevationResult, result);
        qputenv("FAKE_PKEXEC_STATUS", QByteArray::number(status));
        QFile::remove(path("record.txt"));

        const ElevatedRelaunch relaunch(QStringLiteral("/opt/v/client"), {"/opt/v/client", "--flag"});
        QCOMPARE(relaunch.start(), result);

        QFile record(path("record.txt"));
        QVERIFY(record.open(QIODevice::ReadOnly));
        const QStringList args = QString::fromLocal8Bit(record.readAll()).split('\n');
        // The program, the folder to start in, then its arguments.
        const int program = args.indexOf(QStringLiteral("/opt/v/client"));
        QVERIFY2(program >= 0, qPrintable(args.join(' ')));
        QCOMPARE(args.mid(program + 1, 3),
                 (QStringList{QDir::currentPath(), "--flag", QLatin1String(Velmorant::kElevatedRelaunchMarker)}));
    }

    void thisProcess()
    {
        qputenv("FAKE_PKEXEC_STATUS", "1");
        QFile::remove(path("record.txt"));
        QCOMPARE(ElevatedRelaunch::ofThisProcess().start(), ElevationResult::Failed);
        QFile record(path("record.txt"));
        QVERIFY(record.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromLocal8Bit(record.readAll()).split('\n').contains(QCoreApplication::applicationFilePath()));
    }
};

QTEST_GUILESS_MAIN(TestElevatedRelaunch)
#include "tst_elevatedrelaunch.moc"
