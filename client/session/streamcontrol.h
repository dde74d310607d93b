// SPDX-License-Identifier: GPL-2.0-or-later
// When the session window starts, pauses and stops the streaming library,
// and what its stream buttons show. A stream starts in two steps: the click
// announces the screen and asks the room; the room's StreamStart names the
// endpoint, and only then does the library start. A 500 ms tick confirms the
// start or gives it up on the sixth look that finds the library idle.
// GUI thread only; sends go through the callback, which must not block.
#pragma once

#include "sessionmessage.h"
#include "streamlibrary.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace Velmorant::Advanced {

// What the stream buttons show; hidden buttons are also disabled.
struct StreamButtonsLook {
    enum class Flux { Stopped, Started, Starting };
    Flux flux = Flux::Stopped;
    const char *fluxToolTip = "StartStreamText";
    bool loaderVisible = false;
    bool pauseVisible = false;
    bool paused = false; // the pause button shows "resume" and the animation runs
    bool maximizeVisible = false;
    bool maximizeEnabled = false;
    bool minimizeVisible = false;
    bool minimizeEnabled = false;
    bool fullscreenUsable = true; // both full screen buttons show their first image
};

class StreamControl {
public:
    static constexpr int kTickMs = 500;
    static constexpr int kStartTicks = 6;

    using Send = std::function<void(const QByteArray &)>;
    StreamControl(StreamLibrary &pLibrary, Send pSend);

    // The screen to stream: the chosen one when it exists, otherwise the first.
    static int streamedScreenIndex(int pScreenIndex, int pScreenCount);

    void setScreenIndex(int pScreenIndex) { m_screenIndex = pScreenIndex; }
    void setRemoteControl(bool pRemoteControl) { m_remoteControl = pRemoteControl; }
    void setFullscreenFeature(bool pFeature) { m_fullscreenFeature = pFeature; }

    void fluxClicked(int pScreenCount);
    void pauseClicked();
    void maximizeClicked();
    void minimizeClicked();
    // pPeerAddress: the room server as the session connection sees it.
    void onStreamStart(bool pBodyValid, const StreamStartBody &pBody, const QString &pPeerAddress);
    void onFullscreenState(bool pBodyValid, const FullscreenStateBody &pBody);
    // False when nothing is pending or running (the look needs no refresh).
    bool tick();
    // The session ended: the library stops; the ticks bring the flags back.
    void sessionEnded();

    StreamButtonsLook look();

    bool startPending() const { return m_startPending; }
    bool streaming() const { return m_streaming; }
    bool isInFullscreen() const { return m_isInFullscreen; }
    bool fullscreenRequestPending() const { return m_fullscreenRequestPending; }
    int pendingTicks() const { return m_pendingTicks; }

private:
    StreamLibrary &m_library;
    Send m_send;
    int m_screenIndex = 0;
    bool m_remoteControl = false;
    bool m_startPending = false;
    bool m_streaming = false;
    int m_pendingTicks = 0;
    bool m_isInFullscreen = false;
    bool m_fullscreenFeature = false;
    bool m_fullscreenAllowed = true;
    bool m_fullscreenRequestPending = false;
};

} // namespace Velmorant::Advanced
