// SPDX-License-Identifier: GPL-2.0-or-later
// room-emulator: a stand-in room display server (see --help).
#include "controlchannel.h"
#include "emulator.h"
#include "eventlog.h"
#include "options.h"
#include "signalwatcher.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("room-emulator"));
    QCoreApplication::setApplicationVersion(QStringLiteral("25.12.1"));

    EmulatorOptions options;
    switch (parseOptions(QCoreApplication::arguments(), &options)) {
    case ParseOutcome::ExitOk:
        return 0;
    case ParseOutcome::ExitError:
        return 2;
    case ParseOutcome::Run:
        break;
    }

    QString error;
    if (!events().open(options.eventsFile, &error)) {
        fprintf(stderr, "room-emulator: cannot write events: %s\n", qPrintable(error));
        return 2;
    }

    SignalWatcher watcher;
    Emulator emulator(options);
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &emulator,
                     [&emulator](int number) { emulator.shutdown(QStringLiteral("signal %1").arg(number)); });
    QObject::connect(&emulator, &Emulator::finished, &app, [] {
        events().write(QStringLiteral("exit"));
        QCoreApplication::quit();
    });
    const auto finish = [](int code) {
        // Whatever a slow reader has not taken yet gets a moment, not forever.
        events().flush(2000);
        return code;
    };
    if (!emulator.start(&error)) {
        events().write(QStringLiteral("error"), {{QStringLiteral("error"), error}});
        fprintf(stderr, "room-emulator: %s\n", qPrintable(error));
        return finish(1);
    }

    ControlChannel control(STDIN_FILENO);
    QObject::connect(&control, &ControlChannel::command, &emulator, &Emulator::execute);
    QObject::connect(&control, &ControlChannel::endOfInput, &emulator, [&emulator, &options] {
        events().write(QStringLiteral("stdin.closed"));
        if (options.quitOnEof)
            emulator.shutdown(QStringLiteral("end of standard input"));
    });
    return finish(QCoreApplication::exec());
}
