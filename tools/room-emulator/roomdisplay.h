// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "options.h"

#include <QJsonObject>
#include <QWidget>

class NotesBoard;
class QLabel;
class QListWidget;
class RoomActivity;
class StreamView;

// The room display window: the stream area, the notes received below it and
// the links and files received beside it. When a client asks for full
// screen, the stream takes the whole window. GUI thread only.
class RoomDisplay : public QWidget {
    Q_OBJECT
public:
    RoomDisplay(RoomActivity *activity, const EmulatorOptions &options, QWidget *parent = nullptr);
    ~RoomDisplay() override;

    // The window as it looks now, as PNG.
    QByteArray capturePng();

signals:
    // The user closed the window: the room ends with it.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void addItem(const QString &kind, const QString &title, const QString &detail, const QJsonObject &logged);
    void updateLayout();

    RoomActivity *m_activity;
    StreamView *m_stream;
    NotesBoard *m_notes;
    QWidget *m_side;
    QListWidget *m_items;
    QLabel *m_itemsEmpty;
    QLabel *m_itemsCount;
    int m_itemTotal = 0;
    bool m_fullscreen = false;
};
