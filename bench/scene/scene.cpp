// SPDX-License-Identifier: GPL-2.0-or-later
// Benchmark scene: fills the screen with a static picture, moves a band of
// coloured bars across it and repaints a machine-readable timestamp every
// few milliseconds (see probe/timestamp.h for the layout). With --still it
// paints once and never again.
#include "../probe/timestamp.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace {

constexpr int BandTop = 120;
constexpr int BandHeight = 240;

class Scene : public QWidget {
public:
    explicit Scene(bool pStill) : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        if (pStill)
            return; // painted once: an unchanging desktop
        auto *stamp = new QTimer(this);
        stamp->setTimerType(Qt::PreciseTimer);
        connect(stamp, &QTimer::timeout, this,
                [this] { update(0, 0, benchstamp::Bits * benchstamp::BlockWidth, 2 * benchstamp::BlockHeight); });
        stamp->start(4);
        auto *band = new QTimer(this);
        band->setTimerType(Qt::PreciseTimer);
        connect(band, &QTimer::timeout, this, [this] {
            mOffset = (mOffset + 8) % 256;
            update(0, BandTop, width(), BandHeight);
        });
        band->start(16);
    }

protected:
    void paintEvent(QPaintEvent *pEvent) override
    {
        QPainter painter(this);
        const QRect dirty = pEvent->rect();
        if (mBackground.size() != size())
            paintBackground();
        painter.drawImage(dirty, mBackground, dirty);
        if (dirty.intersects(QRect(0, BandTop, width(), BandHeight))) {
            for (int x = -256; x < width(); x += 32) {
                const int hue = ((x + 256) / 32 * 37) % 360;
                painter.fillRect(x + mOffset, BandTop, 32, BandHeight, QColor::fromHsv(hue, 200, 230));
            }
        }
        const uint32_t stamp = benchstamp::stampNow();
        for (int i = 0; i < benchstamp::Bits; ++i) {
            const bool bit = (stamp >> (benchstamp::Bits - 1 - i)) & 1u;
            painter.fillRect(i * benchstamp::BlockWidth, 0, benchstamp::BlockWidth, benchstamp::BlockHeight,
                             bit ? Qt::white : Qt::black);
            painter.fillRect(i * benchstamp::BlockWidth, benchstamp::BlockHeight, benchstamp::BlockWidth,
                             benchstamp::BlockHeight, bit ? Qt::black : Qt::white);
        }
    }

private:
    // Something like a desktop: gradients, panels and fine lines.
    void paintBackground()
    {
        mBackground = QImage(size(), QImage::Format_RGB32);
        QPainter p(&mBackground);
        QLinearGradient gradient(0, 0, width(), height());
        gradient.setColorAt(0, QColor(20, 30, 60));
        gradient.setColorAt(1, QColor(90, 40, 30));
        p.fillRect(rect(), gradient);
        for (int i = 0; i < 12; ++i) {
            const QRect panel(80 + (i % 4) * 450, 420 + (i / 4) * 210, 400, 180);
            p.fillRect(panel, QColor(230, 230, 235));
            for (int line = 0; line < 10; ++line)
                p.fillRect(panel.x() + 12, panel.y() + 14 + line * 16, 150 + (line * 47 + i * 31) % 220, 6,
                           QColor(40, 40, 60));
        }
    }

    int mOffset = 0;
    QImage mBackground;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Scene scene(app.arguments().contains(QStringLiteral("--still")));
    scene.setGeometry(QGuiApplication::primaryScreen()->geometry());
    scene.show();
    return app.exec();
}
