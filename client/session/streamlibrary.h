// SPDX-License-Identifier: GPL-2.0-or-later
// What the session window asks of the screen streaming library. The product
// uses the library itself (GlimraStreamLibrary); tests record the calls.
// GUI thread only.
#pragma once

#include <QString>

namespace Velmorant::Advanced {

class StreamLibrary {
public:
    virtual ~StreamLibrary() = default;

    virtual void setStreamedScreen(int pIndex) = 0;
    virtual unsigned int streamedScreenWidth() const = 0;
    virtual unsigned int streamedScreenHeight() const = 0;
    virtual QString grabbedScreenName() = 0;
    virtual void remoteInteractionActived(bool pActive) = 0;
    virtual void start() = 0;
    virtual void streamTo(const QString &pAddress, unsigned short pPort, unsigned int pStreamId, bool pHandshake) = 0;
    virtual bool isStreaming() = 0;
    virtual bool isPaused() = 0;
    virtual void pause() = 0;
    virtual void restart() = 0;
    virtual void stop() = 0;
};

} // namespace Velmorant::Advanced
