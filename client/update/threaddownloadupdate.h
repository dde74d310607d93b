// SPDX-License-Identifier: GPL-2.0-or-later
// Runs UpdateChecker::download() off the GUI thread. Owned by the code
// window; may run again after a failed download.
// Lifecycle: start(), requestStop(), waitForStop(); stop() does both, and so
// does the destructor.
#pragma once

#include <QThread>

namespace Velmorant {

class UpdateChecker;

class ThreadDownloadUpdate : public QThread {
    Q_OBJECT
public:
    using QThread::QThread;
    ~ThreadDownloadUpdate() override;

    void setUpdateChecker(UpdateChecker *checker) { m_checker = checker; }
    // Ends a running download soon (it reports an empty path and leaves no
    // file); for shutting down. Any thread.
    void requestStop();
    void waitForStop() { wait(); }
    void stop();

signals:
    // The installer's path, or empty when the download failed.
    void sigDownloadUpdateEnded(QString pUpdatePath);

protected:
    void run() override;

private:
    UpdateChecker *m_checker = nullptr;
};

} // namespace Velmorant
