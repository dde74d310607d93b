// SPDX-License-Identifier: GPL-2.0-or-later
#include "threaddownloadupdate.h"

#include "updatechecker.h"

namespace Velmorant {

ThreadDownloadUpdate::~ThreadDownloadUpdate()
{
    stop();
}

void ThreadDownloadUpdate::requestStop()
{
    if (m_checker)
        m_checker->requestStop();
}

void ThreadDownloadUpdate::stop()
{
    requestStop();
    waitForStop();
}

void ThreadDownloadUpdate::run()
{
    emit sigDownloadUpdateEnded(m_checker ? m_checker->download() : QString());
}

} // namespace Velmorant
