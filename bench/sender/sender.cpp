// SPDX-License-Identifier: GPL-2.0-or-later
// Streams monitor 0 through libGlimra to 127.0.0.1:PORT for SECONDS seconds,
// then prints the process's CPU time: "cpu_s <user+system seconds>", and the
// CPU time from the second second on: "cpu_warm_s <seconds> <wall seconds>".
// PORT may be a comma-separated list: one receiver per port, stream ids
// counting up from STREAM_ID.
#include <Glimra>

#include <QApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

namespace {
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: stream-bench-sender PORT SECONDS [STREAM_ID]\n");
        return 2;
    }
    const QStringList ports = QString(argv[1]).split(',');
    const int seconds = QString(argv[2]).toInt();
    const unsigned streamId = argc > 3 ? QString(argv[3]).toUInt() : 1;

    Glimra glimra;
    glimra.setImageQuality(75);
    glimra.setStreamedScreen(0);
    glimra.remoteInteractionActived(false);
    glimra.start();
    for (int i = 0; i < ports.size(); ++i)
        glimra.streamTo(QStringLiteral("127.0.0.1"), static_cast<unsigned short>(ports[i].toUInt()),
                        streamId + unsigned(i), true);
    double warmCpu = 0;
    QElapsedTimer wall;
    QTimer::singleShot(1000, &app, [&] {
        warmCpu = cpuSeconds();
        wall.start();
    });
    QTimer::singleShot(seconds * 1000, &app, [&] {
        const double cpu = cpuSeconds();
        const double elapsed = double(wall.elapsed()) / 1000.0;
        glimra.stop();
        std::printf("cpu_s %.3f\n", cpu);
        std::printf("cpu_warm_s %.3f %.3f\n", cpu - warmCpu, elapsed);
        std::fflush(stdout);
        app.quit();
    });
    return app.exec();
}
