// SPDX-License-Identifier: GPL-2.0-or-later
// The threads that send files to the room, one per transfer. A transfer runs
// to its end even when its session ends; only the owner's stop cuts it short.
//
// Lifecycle: start() runs one job, requestStop() asks every job to end (they
// see the flag they are given), waitForStop() joins them all, stop() does
// both, and so does the destructor. The owner's thread only; the jobs run on
// their own threads.
#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <thread>

namespace Velmorant::Advanced {

class TransferWorkers {
public:
    using Job = std::function<void(const std::atomic<bool> &pStop)>;

    TransferWorkers() = default;
    TransferWorkers(const TransferWorkers &) = delete;
    TransferWorkers &operator=(const TransferWorkers &) = delete;
    ~TransferWorkers();

    void start(Job pJob);
    void requestStop();
    void waitForStop();
    void stop();

    // Jobs started and not yet joined whose thread still runs.
    int running() const;

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void joinFinished();

    std::atomic<bool> m_stop{false};
    std::list<Worker> m_workers;
};

} // namespace Velmorant::Advanced
