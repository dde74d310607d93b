// SPDX-License-Identifier: GPL-2.0-or-later
#include "streamcontrol.h"

#include "sessionlog.h"

#include <QHostAddress>

namespace Velmorant::Advanced {

StreamControl::StreamControl(StreamLibrary &pLibrary, Send pSend) : m_library(pLibrary), m_send(std::move(pSend)) {}

int StreamControl::streamedScreenIndex(int pScreenIndex, int pScreenCount)
{
    return pScreenIndex >= 0 && pScreenIndex < pScreenCount ? pScreenIndex : 0;
}

void StreamControl::fluxClicked(int pScreenCount)
{
    if (m_startPending)
        return;
    const bool wasStreaming = m_library.isStreaming();
    m_streaming = false;
    m_isInFullscreen = false;
    m_pendingTicks = 0;
    if (!wasStreaming) {
        m_startPending = true;
        m_library.setStreamedScreen(streamedScreenIndex(m_screenIndex, pScreenCount));
        m_send(SessionMessages::screenSize(m_library.streamedScreenWidth(), m_library.streamedScreenHeight()));
        m_send(SessionMessages::streamRequest());
        return;
    }
    // The room sees the stream connections close; no message is needed.
    m_startPending = false;
    m_library.stop();
}

void StreamControl::pauseClicked()
{
    if (!m_library.isStreaming())
        return;
    if (m_library.isPaused())
        m_library.restart();
    else
        m_library.pause();
}

void StreamControl::maximizeClicked()
{
    if (!m_library.isStreaming() || m_fullscreenRequestPending)
        return;
    m_isInFullscreen = true;
    m_send(SessionMessages::fullscreenOn());
    m_fullscreenRequestPending = true;
}

void StreamControl::minimizeClicked()
{
    if (!m_library.isStreaming() || m_fullscreenRequestPending)
        return;
    m_isInFullscreen = false;
    m_send(SessionMessages::fullscreenOff());
}

void StreamControl::onStreamStart(bool pBodyValid, const StreamStartBody &pBody, const QString &pPeerAddress)
{
    if (!pBodyValid) {
        qCInfo(lcSession) << "StreamStart body does not parse: the stream start ends";
        m_startPending = false;
        return;
    }
    // Connecting nowhere would only fail three seconds later.
    if (pBody.port == 0 || QHostAddress(pBody.ip).isNull()) {
        qCInfo(lcSession).noquote() << QStringLiteral("StreamStart names no endpoint (Ip \"%1\", Port %2): the "
                                                      "stream start ends")
                                           .arg(pBody.ip)
                                           .arg(pBody.port);
        m_startPending = false;
        return;
    }
    // The room's own loopback means "this server", wherever it is.
    const QString address = pBody.ip == QLatin1String("127.0.0.1") ? pPeerAddress : pBody.ip;
    // An unasked start counts its own ticks.
    if (!m_startPending)
        m_pendingTicks = 0;
    m_library.remoteInteractionActived(m_remoteControl);
    m_library.start();
    m_library.streamTo(address, pBody.port, pBody.id, true);
    m_startPending = true;
}

void StreamControl::onFullscreenState(bool pBodyValid, const FullscreenStateBody &pBody)
{
    if (pBodyValid) {
        m_fullscreenAllowed = pBody.allowFullscreen;
        m_isInFullscreen = pBody.isInFullscreen;
    }
    m_fullscreenRequestPending = false;
}

bool StreamControl::tick()
{
    if (!m_startPending && !m_streaming)
        return false;
    m_streaming = m_library.isStreaming();
    if (m_streaming) {
        m_startPending = false;
    } else if (m_startPending && ++m_pendingTicks >= kStartTicks) {
        qCInfo(lcSession) << "the stream did not start: given up";
        m_startPending = false;
    }
    return true;
}

void StreamControl::sessionEnded()
{
    m_library.stop();
}

StreamButtonsLook StreamControl::look()
{
    StreamButtonsLook look;
    if (m_startPending) {
        look.flux = StreamButtonsLook::Flux::Starting;
        look.fluxToolTip = "StopStreamText";
        look.loaderVisible = true;
        return look;
    }
    if (!m_streaming)
        return look;

    look.flux = StreamButtonsLook::Flux::Started;
    look.fluxToolTip = "StopStreamText";
    look.pauseVisible = true;
    look.paused = m_library.isPaused();
    if (!m_fullscreenFeature)
        return look;
    look.fullscreenUsable = m_fullscreenAllowed;
    // The button of the next step stays in view; it only works while allowed.
    if (m_isInFullscreen) {
        look.minimizeVisible = true;
        look.minimizeEnabled = m_fullscreenAllowed;
    } else {
        look.maximizeVisible = true;
        look.maximizeEnabled = m_fullscreenAllowed;
    }
    return look;
}

} // namespace Velmorant::Advanced
