// SPDX-License-Identifier: GPL-2.0-or-later
// The first window until the code window takes its place.
#pragma once

#include <QWidget>

namespace Velmorant {

class SingleInstanceServer;

class PlaceholderWindow : public QWidget {
    Q_OBJECT
public:
    explicit PlaceholderWindow(QWidget *parent = nullptr);

private:
    SingleInstanceServer *m_instanceServer;
};

} // namespace Velmorant
