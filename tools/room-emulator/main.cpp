// SPDX-License-Identifier: GPL-2.0-or-later
// room-emulator: a stand-in room display server (see --help).
#include "controlchannel.h"
#include "emulator.h"
#include "eventlog.h"
#include "options.h"
#include "roomdisplay.h"
#include "signalwatcher.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {
// Only a run with the window pays for a GUI application and a display
// connection.
bool wantsDisplay(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--display") == 0)
            return true;
    }
    return false;
}
} // namespace

int main(int argc, char **argv)
{
    const bool display = wantsDisplay(argc, argv);
    if (display) {
        const char *platform = std::getenv("QT_QPA_PLATFORM");
        const char *x = std::getenv("DISPLAY");
        if ((!platform || !*platform || std::strncmp(platform, "xcb", 3) == 0) && (!x || !*x)) {
            fprintf(stderr, "room-emulator: --display needs an X display, and DISPLAY is not set\n");
            return 2;
        }
    }
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    // Qt's X11 platform reads "--display NAME" as the X server to use, so
    // the GUI application never sees our flag.
    std::vector<char *> qtArgv;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--display") != 0)
            qtArgv.push_back(argv[i]);
    }
    int qtArgc = static_cast<int>(qtArgv.size());
    qtArgv.push_back(nullptr);
    std::unique_ptr<QCoreApplication> application;
    if (display)
        application = std::make_unique<QApplication>(qtArgc, qtArgv.data());
    else
        application = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication &app = *application;
    QCoreApplication::setApplicationName(QStringLiteral("room-emulator"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMORANT_VERSION));

    EmulatorOptions options;
    switch (parseOptions(arguments, &options)) {
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

    std::unique_ptr<RoomDisplay> window;
    if (options.display) {
        emulator.activity()->setWatched(true);
        window = std::make_unique<RoomDisplay>(emulator.activity(), options);
        QApplication::setQuitOnLastWindowClosed(false);
        QObject::connect(window.get(), &RoomDisplay::closed, &emulator,
                         [&emulator] { emulator.shutdown(QStringLiteral("room display closed")); });
        window->show();
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
