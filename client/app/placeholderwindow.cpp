// SPDX-License-Identifier: GPL-2.0-or-later
#include "placeholderwindow.h"

#include "singleinstanceserver.h"

namespace Velmorant {

PlaceholderWindow::PlaceholderWindow(QWidget *parent)
    : QWidget(parent), m_instanceServer(new SingleInstanceServer(this, this))
{
    setWindowTitle(QStringLiteral("Velmorant Client"));
    resize(500, 252);
}

} // namespace Velmorant
