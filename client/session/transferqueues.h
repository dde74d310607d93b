// SPDX-License-Identifier: GPL-2.0-or-later
// The items waiting to go to the room: one queue of files, one of captures.
// Each queue sends its front item, one at a time; across both, at most one
// FileRequest awaits its FileAccepted, and a request the other queue makes
// meanwhile is made right after the acceptance. A newer local capture
// replaces one still waiting behind the capture being sent.
// GUI thread only; the hooks must not block.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace Velmorant::Advanced {

enum class SendFileType { File = 0, Capture = 1 };

class TransferQueues {
public:
    struct Hooks {
        std::function<void(const QString &pPath)> sendRequest;    // a FileRequest for this item
        std::function<void(bool pVisible)> showLoader;            // "a transfer is in progress"
        std::function<void(const QString &pPath)> refuseTooLarge; // cannot be described to the room
    };
    explicit TransferQueues(Hooks pHooks);

    // Appends; the front is requested when the queue was empty.
    void enqueue(SendFileType pType, const QStringList &pPaths);
    // Requests pPath, the front of its queue, or remembers the request while
    // another one awaits its acceptance.
    void requestTransfer(const QString &pPath, SendFileType pType);

    struct Accepted {
        bool valid = false; // false when the awaited queue has emptied meanwhile
        QString path;
        SendFileType type = SendFileType::File;
    };
    // FileAccepted arrived: the item whose transfer starts now. The other
    // queue's remembered request goes out before this returns.
    Accepted onAccepted();
    // A transfer ended, sent or given up: its item leaves, the next is requested.
    void onTransferDone(SendFileType pType);
    // A local capture to send; see the class comment for the replacement rule.
    void queueCapture(const QString &pPath);
    // The session ended: everything is forgotten. Returns the items dropped.
    QStringList clear();

    const QStringList &queue(SendFileType pType) const { return pType == SendFileType::File ? m_files : m_captures; }
    bool awaitingAcceptance() const { return m_awaitingAcceptance; }
    bool secondRequestPending() const { return m_secondRequestPending; }
    bool captureUploadInProgress() const { return m_captureUploadInProgress; }
    int transfersInProgress() const { return m_transfersInProgress; }

private:
    QStringList &queueOf(SendFileType pType) { return pType == SendFileType::File ? m_files : m_captures; }

    Hooks m_hooks;
    QStringList m_files;
    QStringList m_captures;
    bool m_awaitingAcceptance = false;
    bool m_secondRequestPending = false;
    SendFileType m_awaitingType = SendFileType::File;
    bool m_captureUploadInProgress = false;
    int m_transfersInProgress = 0;
};

} // namespace Velmorant::Advanced
