// SPDX-License-Identifier: GPL-2.0-or-later
#include "glimrastreamlibrary.h"

#include <Glimra>

namespace Velmorant::Advanced {

namespace {
constexpr int kImageQuality = 75;
}

GlimraStreamLibrary::GlimraStreamLibrary() : m_glimra(std::make_unique<Glimra>())
{
    m_glimra->setImageQuality(kImageQuality);
}

GlimraStreamLibrary::~GlimraStreamLibrary() = default;

void GlimraStreamLibrary::setStreamedScreen(int pIndex)
{
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
    m_glimra->remoteInteractionActived(pActive);
}

void GlimraStreamLibrary::start()
{
    m_glimra->start();
}

void GlimraStreamLibrary::streamTo(const QString &pAddress, unsigned short pPort, unsigned int pStreamId,
                                   bool pHandshake)
{
    m_glimra->streamTo(pAddress, pPort, pStreamId, pHandshake);
}

bool GlimraStreamLibrary::isStreaming()
{
    return m_glimra->isStreaming();
}

bool GlimraStreamLibrary::isPaused()
{
    return m_glimra->isPaused();
}

void GlimraStreamLibrary::pause()
{
    m_glimra->pause();
}

void GlimraStreamLibrary::restart()
{
    m_glimra->restart();
}

void GlimraStreamLibrary::stop()
{
    m_glimra->stop();
}

} // namespace Velmorant::Advanced
