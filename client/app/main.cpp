// SPDX-License-Identifier: GPL-2.0-or-later
// Entry: single-instance probe, language, first window, event loop.
#include "constants.h"
#include "displayplatform.h"
#include "language.h"
#include "settingsstore.h"
#include "uicodewindow.h"

#include <QApplication>
#include <QLocalSocket>
#include <QLocale>
#include <QThread>
#include <QTranslator>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// An elevated relaunch starts while the old instance is still exiting: wait
// for its local server to go away (5 s at most), so the probe below does not
// hand "FOCUS" to it. The marker is removed from the arguments.
void waitForPreviousInstance(int &argc, char **argv)
{
    int kept = 0;
    bool relaunched = false;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && std::strcmp(argv[i], Velmorant::kElevatedRelaunchMarker) == 0)
            relaunched = true;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    if (!relaunched)
        return;
    for (int attempt = 0; attempt < 50; ++attempt) {
        QLocalSocket probe;
        probe.connectToServer(QLatin1String(Velmorant::kSingleInstanceName));
        if (!probe.waitForConnected(100))
            return;
        probe.abort();
        QThread::msleep(100);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    using namespace Velmorant;

    QCoreApplication::setAttribute(Qt::AA_DisableHighDpiScaling);
    const QByteArray platform = preferredQtPlatform(qgetenv("QT_QPA_PLATFORM"), qgetenv("XDG_SESSION_TYPE"),
                                                    qgetenv("WAYLAND_DISPLAY"), qgetenv("DISPLAY"));
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);
    waitForPreviousInstance(argc, argv);

    // Probe before any application object exists: a running client answers.
    auto probe = std::make_unique<QLocalSocket>();
    probe->connectToServer(QLatin1String(kSingleInstanceName), QIODevice::ReadWrite);
    if (probe->waitForConnected(1000)) {
        probe->write(kFocusMessage, sizeof(kFocusMessage) - 1);
        probe->waitForBytesWritten(100);
        probe->disconnect();
        std::exit(0);
    }

    auto translator = std::make_unique<QTranslator>();
    auto app = std::make_unique<QApplication>(argc, argv);
    const QString applicationDir = QCoreApplication::applicationDirPath();

    const QString language = effectiveLanguage(readStartupLanguage(settingsFilePath()), QLocale::system().name());
    loadCatalogue(*translator, applicationDir, isFrenchLanguage(language));
    QCoreApplication::installTranslator(translator.get());

    auto window = std::make_unique<UiCodeWindow>();
    window->show();
    const int result = QApplication::exec();

    window.reset();
    app.reset();
    translator.reset();
    probe.reset();
    return result;
}
