// SPDX-License-Identifier: GPL-2.0-or-later
#include "glimrastreamlibrary.h"

#include "sessionlog.h"

#include <Glimra>

#include <QElapsedTimer>

namespace Velmorant::Advanced {

namespace {
constexpr int kImageQuality = 75;

// How long the GUI thread waited in the library, for the log (and the
// benchmark that reads it).
// The state queries run every tick: logged only when slow.
class CallTimer {
public:
    explicit CallTimer(const char *pName, bool pQuery = false) : m_name(pName), m_query(pQuery) { m_clock.start(); }
    ~CallTimer()
    {
        const double ms = double(m_clock.nsecsElapsed()) / 1e6;
        if (!m_query || ms >= 5.0)
            qCDebug(lcSession, "glimra call %s took %.3f ms", m_name, ms);
    }

private:
    const char *m_name;
    bool m_query;
    QElapsedTimer m_clock;
};
} // namespace

GlimraStreamLibrary::GlimraStreamLibrary() : m_glimra(std::make_unique<Glimra>())
{
    m_glimra->setImageQuality(kImageQuality);
}

GlimraStreamLibrary::~GlimraStreamLibrary() = default;

void GlimraStreamLibrary::setStreamedScreen(int pIndex)
{
    const CallTimer timer("setStreamedScreen");
    m_glimra->setStreamedScreen(pIndex);
}

unsigned int GlimraStreamLibrary::streamedScreenWidth() const
{
    return m_glimra->getStreamedScreenWidth();
}

unsigned int GlimraStreamLibrary::streamedScreenHeight() const
{
    return m_glimra->getStreamedScreenHeight();
}

QString GlimraStreamLibrary::grabbedScreenName()
{
    return m_glimra->getGrabbedScreenName();
}

void GlimraStreamLibrary::remoteInteractionActived(bool pActive)
{
    const CallTimer timer("remoteInteractionActived");
    m_glimra->remoteInteractionActived(pActive);
}

void GlimraStreamLibrary::start()
{
    const CallTimer timer("start");
    m_glimra->start();
}

void GlimraStreamLibrary::streamTo(const QString &pAddress, unsigned short pPort, unsigned int pStreamId,
                                   bool pHandshake)
{
    const CallTimer timer("streamTo");
    m_glimra->streamTo(pAddress, pPort, pStreamId, pHandshake);
}

bool GlimraStreamLibrary::isStreaming()
{
    const CallTimer timer("isStreaming", true);
    return m_glimra->isStreaming();
}

bool GlimraStreamLibrary::isPaused()
{
    const CallTimer timer("isPaused", true);
    return m_glimra->isPaused();
}

void GlimraStreamLibrary::pause()
{
    const CallTimer timer("pause");
    m_glimra->pause();
}

void GlimraStreamLibrary::restart()
{
    const CallTimer timer("restart");
    m_glimra->restart();
}

void GlimraStreamLibrary::stop()
{
    const CallTimer timer("stop");
    m_glimra->stop();
}

} // namespace Velmorant::Advanced
