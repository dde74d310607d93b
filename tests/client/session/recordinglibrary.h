// SPDX-License-Identifier: GPL-2.0-or-later
// A streaming library that records its calls into a shared log, so that the
// order of calls and sent messages can be compared. Streaming and paused
// states are set by the test.
#pragma once

#include "streamlibrary.h"

#include <QString>
#include <QStringList>

#include <memory>

struct CallLog {
    QStringList lines;
};

class RecordingLibrary : public Velmorant::Advanced::StreamLibrary {
public:
    explicit RecordingLibrary(std::shared_ptr<CallLog> pLog) : log(std::move(pLog)) {}

    void setStreamedScreen(int pIndex) override { log->lines << QString("setStreamedScreen %1").arg(pIndex); }
    unsigned int streamedScreenWidth() const override { return width; }
    unsigned int streamedScreenHeight() const override { return height; }
    QString grabbedScreenName() override { return QStringLiteral("screen-0"); }
    void remoteInteractionActived(bool pActive) override
    {
        log->lines << QString("remoteInteractionActived %1").arg(int(pActive));
    }
    void start() override { log->lines << "start"; }
    void streamTo(const QString &pAddress, unsigned short pPort, unsigned int pStreamId, bool pHandshake) override
    {
        log->lines << QString("streamTo %1 %2 %3 %4").arg(pAddress).arg(pPort).arg(pStreamId).arg(int(pHandshake));
    }
    bool isStreaming() override { return streaming; }
    bool isPaused() override { return paused; }
    void pause() override
    {
        log->lines << "pause";
        paused = true;
    }
    void restart() override
    {
        log->lines << "restart";
        paused = false;
    }
    void stop() override
    {
        log->lines << "stop";
        streaming = false;
    }

    std::shared_ptr<CallLog> log;
    bool streaming = false;
    bool paused = false;
    unsigned int width = 1920;
    unsigned int height = 1080;
};
