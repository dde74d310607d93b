// SPDX-License-Identifier: GPL-2.0-or-later
// Streams monitor 0 through libGlimra to 127.0.0.1:PORT for SECONDS seconds,
// then prints the process's CPU time: "cpu_s <user+system seconds>".
#include <Glimra>

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: stream-bench-sender PORT SECONDS [STREAM_ID]\n");
        return 2;
    }
    const auto port = static_cast<unsigned short>(QString(argv[1]).toUInt());
    const int seconds = QString(argv[2]).toInt();
    const unsigned streamId = argc > 3 ? QString(argv[3]).toUInt() : 1;

    Glimra glimra;
    glimra.setImageQuality(75);
    glimra.setStreamedScreen(0);
    glimra.remoteInteractionActived(false);
    glimra.start();
    glimra.streamTo(QStringLiteral("127.0.0.1"), port, streamId, true);
    QTimer::singleShot(seconds * 1000, &app, [&] {
        glimra.stop();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        std::printf("cpu_s %.3f\n", cpu);
        std::fflush(stdout);
        app.quit();
    });
    return app.exec();
}
