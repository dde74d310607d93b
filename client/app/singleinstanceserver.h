// SPDX-License-Identifier: GPL-2.0-or-later
// The running client's side of the single-instance protocol: a local server
// that brings a window to the front when a second start sends "FOCUS".
// Lives on the GUI thread; owned by the window it raises.
#pragma once

#include <QObject>
#include <QPointer>

class QLocalServer;
class QWidget;

namespace Velmorant {

class SingleInstanceServer : public QObject {
    Q_OBJECT
public:
    // Listens on the single-instance name; window is raised on "FOCUS".
    explicit SingleInstanceServer(QWidget *window, QObject *parent = nullptr);
    ~SingleInstanceServer() override;

    bool isListening() const;

signals:
    // Emitted for every exact "FOCUS", whether or not the window was visible.
    void focusRequested();

private:
    void onNewConnection();

    QLocalServer *m_server;
    QPointer<QWidget> m_window;
};

} // namespace Velmorant
