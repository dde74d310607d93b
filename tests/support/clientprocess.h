// SPDX-License-Identifier: GPL-2.0-or-later
// The real client program for end-to-end tests on an X server: started in a
// working folder of the test's, its log read line by line, its windows found
// by their described size, and a user's keys and clicks through xdotool.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QSize>
#include <QStringList>
#include <QTest>

namespace E2e {

// Runs a helper program to its end; its standard output in *pOut.
inline bool run(const QString &pProgram, const QStringList &pArgs, QByteArray *pOut = nullptr, int pTimeoutMs = 10000)
{
    QProcess p;
    p.start(pProgram, pArgs);
    if (!p.waitForFinished(pTimeoutMs))
        return false;
    if (pOut)
        *pOut = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

inline bool xdotool(const QStringList &pArgs)
{
    return run(QStringLiteral("xdotool"), pArgs);
}

// The whole X screen as a PNG. With pWhenStill, once it has stopped
// changing: two shots alike, or the third when something keeps moving.
inline void screenshot(const QString &pPath, bool pWhenStill = false)
{
    QImage previous;
    for (int shot = 0; shot < (pWhenStill ? 3 : 1); ++shot) {
        run(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), pPath});
        const QImage image(pPath);
        if (!pWhenStill || (!image.isNull() && image == previous))
            return;
        previous = image;
    }
}

class ClientProcess {
public:
    // Window sizes and button places are those of the description: the
    // logical DPI is pinned.
    bool start(const QString &pWorkingFolder)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_FONT_DPI"), QStringLiteral("96"));
        m_process.setProcessEnvironment(environment);
        m_process.setWorkingDirectory(pWorkingFolder);
        m_process.start(qEnvironmentVariable("VELMORANT_CLIENT"), QStringList());
        return m_process.waitForStarted(5000);
    }

    ~ClientProcess()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
    }

    QProcess &process() { return m_process; }

    // The next log line holding every part; empty on time-out. Lines before
    // it are passed over for good.
    QString waitForLog(const QStringList &pParts, int pTimeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        do {
            m_process.waitForReadyRead(50);
            m_log += m_process.readAllStandardError();
            QCoreApplication::processEvents();
            int end;
            while ((end = m_log.indexOf('\n', m_read)) >= 0) {
                const QString line = QString::fromUtf8(m_log.mid(m_read, end - m_read));
                m_read = end + 1;
                bool all = true;
                for (const QString &part : pParts)
                    all = all && line.contains(part);
                if (all)
                    return line;
            }
        } while (clock.elapsed() < pTimeoutMs);
        return {};
    }

    // Everything logged so far, read or not.
    QByteArray log()
    {
        m_log += m_process.readAllStandardError();
        return m_log;
    }

    // The id of the program's visible window of this size; empty on time-out.
    QString windowOfSize(const QSize &pSize, int pTimeoutMs = 5000)
    {
        QString found;
        return QTest::qWaitFor([&] { return !(found = visibleWindowOfSize(pSize)).isEmpty(); }, pTimeoutMs) ? found
                                                                                                            : QString();
    }

    // The ids of the program's visible windows.
    QStringList visibleWindows()
    {
        QByteArray ids;
        run(QStringLiteral("xdotool"),
            {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
             QString::number(m_process.processId())},
            &ids);
        return QString::fromLatin1(ids).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // A visible window of the program's that is not among pKnown, focused
    // (a dialog that has just opened); empty on time-out.
    QString newWindow(const QStringList &pKnown, int pTimeoutMs = 5000)
    {
        QString found;
        const bool appeared = QTest::qWaitFor(
            [&] {
                for (const QString &id : visibleWindows()) {
                    if (!pKnown.contains(id))
                        found = id;
                }
                return !found.isEmpty();
            },
            pTimeoutMs);
        return appeared && xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), found}) ? found
                                                                                                     : QString();
    }

    // One look for the program's visible window of this size.
    QString visibleWindowOfSize(const QSize &pSize)
    {
        for (const QString &window : visibleWindows()) {
            const QByteArray id = window.toLatin1();
            QByteArray geometry;
            if (id.isEmpty() ||
                !run(QStringLiteral("xdotool"),
                     {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), QString::fromLatin1(id)},
                     &geometry))
                continue;
            if (geometry.contains("WIDTH=" + QByteArray::number(pSize.width()) + "\n") &&
                geometry.contains("HEIGHT=" + QByteArray::number(pSize.height()) + "\n"))
                return QString::fromLatin1(id);
        }
        return {};
    }

    static bool click(const QString &pWindow, const QPoint &pAt)
    {
        return xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), pWindow, QString::number(pAt.x()),
                        QString::number(pAt.y())}) &&
               xdotool({QStringLiteral("click"), QStringLiteral("1")});
    }

private:
    QProcess m_process;
    QByteArray m_log;
    int m_read = 0;
};

} // namespace E2e
