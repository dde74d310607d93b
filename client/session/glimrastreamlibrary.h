// SPDX-License-Identifier: GPL-2.0-or-later
// The streaming library behind the session window: owns the one Glimra
// object of the process and forwards every call to it. GUI thread only.
#pragma once

#include "streamlibrary.h"

#include <memory>

class Glimra;

namespace Velmorant::Advanced {

class GlimraStreamLibrary : public StreamLibrary {
public:
    // Creates the library object with the session's image quality.
    GlimraStreamLibrary();
    ~GlimraStreamLibrary() override;

    void setStreamedScreen(int pIndex) override;
    unsigned int streamedScreenWidth() const override;
    unsigned int streamedScreenHeight() const override;
    QString grabbedScreenName() override;
    void remoteInteractionActived(bool pActive) override;
    void start() override;
    void streamTo(const QString &pAddress, unsigned short pPort, unsigned int pStreamId, bool pHandshake) override;
    bool isStreaming() override;
    bool isPaused() override;
    void pause() override;
    void restart() override;
    void stop() override;

private:
    std::unique_ptr<Glimra> m_glimra;
};

} // namespace Velmorant::Advanced
