// SPDX-License-Identifier: GPL-2.0-or-later
#include "roomdisplay.h"

#include "eventlog.h"
#include "roomactivity.h"
#include "stickynote.h"
#include "streamview.h"

#include <QBuffer>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QVBoxLayout>

namespace {
// Kept on screen; older ones scroll off.
constexpr int MaxNotes = 30;
constexpr int MaxItems = 200;
// Shown link and file names; longer ones are elided by the list anyway.
constexpr int MaxShownName = 300;

QString humanSize(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg(bytes / 1024.0, 0, 'f', 1);
    if (bytes < 1024LL * 1024 * 1024)
        return QStringLiteral("%1 MB").arg(bytes / (1024.0 * 1024.0), 0, 'f', 1);
    return QStringLiteral("%1 GB").arg(bytes / (1024.0 * 1024.0 * 1024.0), 0, 'f', 2);
}

QString printable(const QString &text)
{
    QString out = text.left(MaxShownName);
    for (QChar &c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QChar(0xfffd);
    }
    return out;
}

// Small line icons for the list, drawn here rather than loaded.
QIcon itemIcon(bool link)
{
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(254, 79, 0, link ? 255 : 40));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 16, 16);
    p.setPen(QPen(link ? Qt::white : QColor(254, 79, 0), 4.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    if (link) {
        // Two chain links.
        p.translate(32, 32);
        p.rotate(-45);
        p.drawRoundedRect(QRectF(-20, -7, 22, 14), 7, 7);
        p.drawRoundedRect(QRectF(-2, -7, 22, 14), 7, 7);
    } else {
        QPainterPath sheet;
        sheet.moveTo(21, 14);
        sheet.lineTo(36, 14);
        sheet.lineTo(45, 23);
        sheet.lineTo(45, 50);
        sheet.lineTo(21, 50);
        sheet.closeSubpath();
        sheet.moveTo(36, 14);
        sheet.lineTo(36, 23);
        sheet.lineTo(45, 23);
        p.drawPath(sheet);
    }
    return QIcon(pixmap);
}
} // namespace

// The notes received, newest first, as a strip of sticky notes.
class NotesBoard : public QWidget {
public:
    explicit NotesBoard(QWidget *parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFixedHeight(200);
    }

    void add(const QString &noteText)
    {
        m_notes.prepend(parseNote(noteText));
        if (m_notes.size() > MaxNotes)
            m_notes.removeLast();
        m_reportNewest = true;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), QColor(0x14, 0x17, 0x1c));
        p.setPen(QColor(255, 255, 255, 20));
        p.drawLine(0, 0, width(), 0);
        QFont caption = font();
        caption.setPixelSize(12);
        caption.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
        p.setFont(caption);
        p.setPen(QColor(255, 255, 255, 120));
        p.drawText(QRect(20, 8, width() - 40, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("NOTES"));
        if (m_notes.isEmpty()) {
            QFont hint = font();
            hint.setPixelSize(14);
            p.setFont(hint);
            p.setPen(QColor(255, 255, 255, 90));
            p.drawText(rect().adjusted(20, 28, -20, -10), Qt::AlignCenter,
                       QStringLiteral("Notes sent to the room appear here"));
            return;
        }
        const int side = height() - 48;
        int x = 20;
        for (int i = 0; i < m_notes.size() && x < width(); ++i) {
            const QRectF r(x, 32, side, side);
            paintNote(p, r, m_notes.at(i));
            if (i == 0 && m_reportNewest)
                report(r.toRect(), m_notes.at(i));
            x += side + 16;
        }
        m_reportNewest = false;
    }

private:
    void report(const QRect &r, const StickyNote &note)
    {
        const QRect inWindow(mapTo(window(), r.topLeft()), r.size());
        QTimer::singleShot(0, this, [inWindow, note] {
            events().write(QStringLiteral("display.note"), {{QStringLiteral("x"), inWindow.x()},
                                                            {QStringLiteral("y"), inWindow.y()},
                                                            {QStringLiteral("width"), inWindow.width()},
                                                            {QStringLiteral("height"), inWindow.height()},
                                                            {QStringLiteral("color"), note.colorName},
                                                            {QStringLiteral("tag"), tagName(note.tag)},
                                                            {QStringLiteral("text"), note.text}});
        });
    }

    QList<StickyNote> m_notes;
    bool m_reportNewest = false;
};

RoomDisplay::RoomDisplay(RoomActivity *activity, const EmulatorOptions &options, QWidget *parent)
    : QWidget(parent), m_activity(activity)
{
    const Room room = options.rooms.value(0);
    setWindowTitle(QStringLiteral("Room display \u2014 %1 %2").arg(room.code, room.name));
    setObjectName(QStringLiteral("RoomDisplay"));
    setStyleSheet(QStringLiteral(
        "#RoomDisplay { background: #111418; }"
        "#SidePanel { background: #181c22; border-left: 1px solid #262b33; }"
        "#SideTitle { color: rgba(255,255,255,150); font-size: 12px; letter-spacing: 1px; }"
        "#SideCount { color: rgb(254,79,0); font-size: 12px; }"
        "#SideEmpty { color: rgba(255,255,255,90); font-size: 14px; }"
        "QListWidget { background: transparent; border: none; color: white; font-size: 13px; outline: none; }"
        "QListWidget::item { padding: 8px 4px; border-bottom: 1px solid #232830; }"
        "QListWidget::item:selected { background: #232830; color: white; }"));

    m_stream = new StreamView(activity, options.rooms, this);
    m_notes = new NotesBoard(this);
    m_side = new QWidget(this);
    m_side->setObjectName(QStringLiteral("SidePanel"));
    m_side->setAttribute(Qt::WA_StyledBackground);
    m_side->setFixedWidth(320);
    auto *title = new QLabel(QStringLiteral("LINKS AND FILES"), m_side);
    title->setObjectName(QStringLiteral("SideTitle"));
    m_itemsCount = new QLabel(m_side);
    m_itemsCount->setObjectName(QStringLiteral("SideCount"));
    m_items = new QListWidget(m_side);
    m_items->setIconSize(QSize(32, 32));
    m_items->setWordWrap(true);
    m_items->setTextElideMode(Qt::ElideMiddle);
    m_items->setFocusPolicy(Qt::NoFocus);
    m_items->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_itemsEmpty = new QLabel(QStringLiteral("Web links and files sent to the room appear here"), m_side);
    m_itemsEmpty->setObjectName(QStringLiteral("SideEmpty"));
    m_itemsEmpty->setWordWrap(true);
    m_itemsEmpty->setAlignment(Qt::AlignCenter);

    auto *header = new QHBoxLayout;
    header->addWidget(title);
    header->addStretch();
    header->addWidget(m_itemsCount);
    auto *side = new QVBoxLayout(m_side);
    side->setContentsMargins(16, 14, 12, 12);
    side->addLayout(header);
    side->addWidget(m_items, 1);
    side->addWidget(m_itemsEmpty, 1);
    m_items->hide();

    auto *main = new QVBoxLayout;
    main->setContentsMargins(0, 0, 0, 0);
    main->setSpacing(0);
    main->addWidget(m_stream, 1);
    main->addWidget(m_notes);
    auto *all = new QHBoxLayout(this);
    all->setContentsMargins(0, 0, 0, 0);
    all->setSpacing(0);
    all->addLayout(main, 1);
    all->addWidget(m_side);

    connect(activity, &RoomActivity::noteReceived, m_notes, &NotesBoard::add);
    connect(activity, &RoomActivity::linkReceived, this, [this](const QString &url) {
        addItem(QStringLiteral("link"), printable(url), QStringLiteral("Web link"),
                {{QStringLiteral("text"), url.left(MaxShownName)}});
    });
    connect(activity, &RoomActivity::fileReceived, this,
            [this](const QString &name, qint64 size, const QString &sha256) {
                const QString prefix = sha256.left(12);
                addItem(QStringLiteral("file"), printable(name),
                        QStringLiteral("%1  \u00b7  sha256 %2").arg(humanSize(size), prefix),
                        {{QStringLiteral("text"), name.left(MaxShownName)},
                         {QStringLiteral("size"), static_cast<double>(size)},
                         {QStringLiteral("sha256"), prefix}});
            });
    connect(activity, &RoomActivity::fullscreenChanged, this, &RoomDisplay::updateLayout);
    connect(activity, &RoomActivity::streamChanged, this, &RoomDisplay::updateLayout);
    connect(m_stream, &StreamView::firstPainted, this, [this] {
        events().write(QStringLiteral("display.shown"), {{QStringLiteral("window"), static_cast<double>(winId())},
                                                         {QStringLiteral("x"), geometry().x()},
                                                         {QStringLiteral("y"), geometry().y()},
                                                         {QStringLiteral("width"), width()},
                                                         {QStringLiteral("height"), height()}});
    });
    activity->setCaptureSource([this] { return capturePng(); });

    resize(options.displayGeometry.size());
    if (options.displayPlaced)
        move(options.displayGeometry.topLeft());
}

RoomDisplay::~RoomDisplay()
{
    m_activity->setCaptureSource(nullptr);
}

void RoomDisplay::addItem(const QString &kind, const QString &title, const QString &detail, const QJsonObject &logged)
{
    auto *item =
        new QListWidgetItem(itemIcon(kind == QLatin1String("link")), QStringLiteral("%1\n%2").arg(title, detail));
    item->setToolTip(title);
    m_items->insertItem(0, item);
    while (m_items->count() > MaxItems)
        delete m_items->takeItem(m_items->count() - 1);
    ++m_itemTotal;
    m_itemsCount->setText(QString::number(m_itemTotal));
    m_itemsEmpty->hide();
    m_items->show();
    QJsonObject e = logged;
    e.insert(QStringLiteral("kind"), kind);
    events().write(QStringLiteral("display.item"), e);
}

void RoomDisplay::updateLayout()
{
    // Full screen is the stream's: with nothing streaming the room shows its
    // code, notes and items again.
    const bool on = m_activity->fullscreen() && m_activity->shownStream() >= 0;
    if (on == m_fullscreen)
        return;
    m_fullscreen = on;
    m_notes->setVisible(!on);
    m_side->setVisible(!on);
    events().write(QStringLiteral("display.fullscreen"), {{QStringLiteral("on"), on}});
}

void RoomDisplay::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    emit closed();
}

QByteArray RoomDisplay::capturePng()
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!grab().toImage().save(&buffer, "PNG"))
        return QByteArray();
    return png;
}
