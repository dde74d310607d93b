// SPDX-License-Identifier: GPL-2.0-or-later
#include "transferworkers.h"

namespace Velmorant::Advanced {

TransferWorkers::~TransferWorkers()
{
    stop();
}

void TransferWorkers::start(Job pJob)
{
    joinFinished();
    m_stop = false;
    auto done = std::make_shared<std::atomic<bool>>(false);
    m_workers.push_back({std::thread([this, job = std::move(pJob), done] {
                             job(m_stop);
                             *done = true;
                         }),
                         done});
}

void TransferWorkers::requestStop()
{
    m_stop = true;
}

void TransferWorkers::waitForStop()
{
    for (Worker &worker : m_workers)
        worker.thread.join();
    m_workers.clear();
}

void TransferWorkers::stop()
{
    requestStop();
    waitForStop();
}

int TransferWorkers::running() const
{
    int count = 0;
    for (const Worker &worker : m_workers)
        count += worker.done->load() ? 0 : 1;
    return count;
}

void TransferWorkers::joinFinished()
{
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace Velmorant::Advanced
