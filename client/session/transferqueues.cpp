// SPDX-License-Identifier: GPL-2.0-or-later
#include "transferqueues.h"

#include "filetransfer.h"
#include "sessionlog.h"

#include <QFileInfo>

namespace Velmorant::Advanced {

TransferQueues::TransferQueues(Hooks pHooks) : m_hooks(std::move(pHooks)) {}

void TransferQueues::enqueue(SendFileType pType, const QStringList &pPaths)
{
    QStringList &queue = queueOf(pType);
    const bool wasEmpty = queue.isEmpty();
    queue << pPaths;
    if (wasEmpty && !queue.isEmpty())
        requestTransfer(queue.first(), pType);
}

void TransferQueues::requestTransfer(const QString &pPath, SendFileType pType)
{
    // The header cannot describe such a file: it never reaches the room.
    if (QFileInfo(pPath).size() > FileTransferFrames::kMaxFileSize) {
        qCWarning(lcSession).noquote() << "not sent, too large for a transfer:" << pPath;
        QStringList &queue = queueOf(pType);
        queue.removeOne(pPath);
        if (m_hooks.refuseTooLarge)
            m_hooks.refuseTooLarge(pPath);
        if (!queue.isEmpty())
            requestTransfer(queue.first(), pType);
        return;
    }
    if (m_awaitingAcceptance) {
        if (m_secondRequestPending)
            // word for word, spelling included
            qCDebug(lcSession) << "Error : There is already an awaiting item - this case should not happens";
        m_secondRequestPending = true;
        return;
    }
    m_awaitingAcceptance = true;
    m_secondRequestPending = false;
    m_awaitingType = pType;
    if (pType == SendFileType::Capture)
        m_captureUploadInProgress = true;
    ++m_transfersInProgress;
    m_hooks.showLoader(true);
    m_hooks.sendRequest(pPath);
}

TransferQueues::Accepted TransferQueues::onAccepted()
{
    Accepted accepted;
    if (!m_awaitingAcceptance) {
        qCInfo(lcSession) << "FileAccepted without an awaited request: ignored";
        return accepted;
    }
    m_awaitingAcceptance = false;
    const SendFileType other = m_awaitingType == SendFileType::File ? SendFileType::Capture : SendFileType::File;
    const QStringList &queue = queueOf(m_awaitingType);
    if (!queue.isEmpty())
        accepted = {true, queue.first(), m_awaitingType};
    if (m_secondRequestPending && !queueOf(other).isEmpty())
        requestTransfer(queueOf(other).first(), other);
    return accepted;
}

void TransferQueues::onTransferDone(SendFileType pType)
{
    QStringList &queue = queueOf(pType);
    if (!queue.isEmpty())
        queue.removeFirst();
    if (pType == SendFileType::Capture)
        m_captureUploadInProgress = false;
    if (m_transfersInProgress > 0 && --m_transfersInProgress == 0)
        m_hooks.showLoader(false);
    if (!queue.isEmpty())
        requestTransfer(queue.first(), pType);
}

void TransferQueues::queueCapture(const QString &pPath)
{
    if (m_captureUploadInProgress && m_captures.size() > 1)
        m_captures.removeLast();
    if (!m_captures.contains(pPath))
        enqueue(SendFileType::Capture, {pPath});
}

QStringList TransferQueues::clear()
{
    const QStringList dropped = m_files + m_captures;
    m_files.clear();
    m_captures.clear();
    m_awaitingAcceptance = false;
    m_secondRequestPending = false;
    m_captureUploadInProgress = false;
    m_transfersInProgress = 0;
    return dropped;
}

} // namespace Velmorant::Advanced
