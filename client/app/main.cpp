// SPDX-License-Identifier: GPL-2.0-or-later
// Entry: single-instance probe, language, first window, event loop.
#include "constants.h"
#include "language.h"
#include "placeholderwindow.h"
#include "settingsstore.h"

#include <QApplication>
#include <QLocale>
#include <QLocalSocket>
#include <QTranslator>

#include <cstdlib>
#include <memory>

int main(int argc, char *argv[])
{
    using namespace Velmorant;

    QCoreApplication::setAttribute(Qt::AA_DisableHighDpiScaling);

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
    translator->load(catalogueFilePath(applicationDir, isFrenchLanguage(language)));
    QCoreApplication::installTranslator(translator.get());

    auto window = std::make_unique<PlaceholderWindow>();
    window->show();
    const int result = QApplication::exec();

    window.reset();
    app.reset();
    translator.reset();
    probe.reset();
    return result;
}
