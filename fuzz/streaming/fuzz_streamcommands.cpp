// SPDX-License-Identifier: GPL-2.0-or-later
// Incoming stream traffic: arbitrary bytes split into frames, each payload
// dispatched as the client manager does (remote interaction on, recording
// input backend), then a few touch ticks.
#include "clients/clientsmanager.h"
#include "clients/streamclient.h"
#include "input/mousekeyboard.h"
#include "input/recordinginputbackend.h"
#include "transport/framereader.h"

#include <QList>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static RecordingInputBackend *backend = nullptr;
    static MouseKeyboard *injector = [] {
        auto recording = std::make_unique<RecordingInputBackend>(true);
        backend = recording.get();
        auto *mk = new MouseKeyboard(std::move(recording), MouseKeyboard::TouchThread::Manual);
        mk->setTargetGeometry(QRect(0, 0, 1920, 1080), 1920, 1080, QRect(0, 0, 1920, 1080), 1.0);
        return mk;
    }();
    static ClientsManager *manager = [] {
        auto *m = new ClientsManager;
        m->setMouseKeyboard(injector);
        m->setRemoteInteraction(true);
        return m;
    }();

    if (size == 0)
        return 0;
    // The first byte chooses how the stream is cut into reads.
    const size_t chunk = size_t(data[0] % 64) + 1;
    ++data;
    --size;

    StreamClient client(0, manager, QRect(0, 0, 1920, 1080));
    FrameReader reader;
    for (size_t pos = 0; pos < size; pos += chunk) {
        QList<QByteArray> payloads;
        const size_t n = pos + chunk <= size ? chunk : size - pos;
        if (reader.feed(reinterpret_cast<const char *>(data + pos), qint64(n), payloads) < 0)
            break;
        for (const QByteArray &payload : payloads)
            manager->processMessage(&client, payload);
    }
    for (int i = 0; i < 6; ++i)
        injector->runTouchTick();
    backend->clear();
    return 0;
}
