// SPDX-License-Identifier: GPL-2.0-or-later
#include "uinotewindowadvanced.h"

#include "notelimit.h"
#include "renderimage.h"
#include "uicustombutton.h"
#include "windowslog.h"

#include <QEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace Velmorant {
namespace Advanced {

const UiNoteWindowAdvanced::NoteColor UiNoteWindowAdvanced::kColors[9] = {
    {"YELLOW", "#color=4", "white", "color: white", ":/MainWidget/Advanced/note_back_yellow.svg", "ButtonColorYellow"},
    {"ORANGE", "#color=8", "white", "color: white", ":/MainWidget/Advanced/note_back_orange.svg", "ButtonColorOrange"},
    {"RED", "#color=2", "white", "color: white", ":/MainWidget/Advanced/note_back_red.svg", "ButtonColorRed"},
    {"GREEN", "#color=1", "white", "color: white", ":/MainWidget/Advanced/note_back_green.svg", "ButtonColorGreen"},
    {"BLUE", "#color=0", "white", "color: white", ":/MainWidget/Advanced/note_back_blue.svg", "ButtonColorBlue"},
    {"CAMEL", "#color=5", "white", "color: white", ":/MainWidget/Advanced/note_back_camel.svg", "ButtonColorCamel"},
    {"BROWN", "#color=6", "white", "color: white", ":/MainWidget/Advanced/note_back_brown.svg", "ButtonColorBrown"},
    {"BLACK", "#color=7", "white", "color: white", ":/MainWidget/Advanced/note_back_black.svg", "ButtonColorBlack"},
    {"GRAY", "#color=3", "black", "color: black", ":/MainWidget/Advanced/note_back_gray.svg", "ButtonColorGray"},
};

const UiNoteWindowAdvanced::NoteTag UiNoteWindowAdvanced::kTags[9] = {
    {"STAR", "#tag=1", "ButtonTagStar"},           {"EXCLAMATION", "#tag=2", "ButtonTagExclamation"},
    {"QUESTION", "#tag=3", "ButtonTagQuestion"},   {"THUMBTACK", "#tag=4", "ButtonTagThumbtack"},
    {"DUPLICATE", "#tag=5", "ButtonTagDuplicate"}, {"RELOAD", "#tag=6", "ButtonTagReload"},
    {"CHECK", "#tag=7", "ButtonTagCheck"},         {"APPROXIMATE", "#tag=8", "ButtonTagApproximate"},
    {"FORBIDDEN", "#tag=9", "ButtonTagForbidden"},
};

const char UiNoteWindowAdvanced::kDefaultColor[] = "YELLOW";
const char UiNoteWindowAdvanced::kNoTagCode[] = "#tag=0";

namespace {

const char kGrayColor[] = "GRAY";
const char kColorProperty[] = "colorName";
const char kTagProperty[] = "tagName";
const int kShakeInterval = 10;    // ms between two placements of the counter
const int kMaxLineBreaks = 7;     // never reached within the weight; kept as a second bound
const double kShakeSpeed = 0.08;  // radians per ms
const double kShakeSwing = 6.283; // one sideways swing, in radians
const double kShakeWidth = 5.0;   // pixels of the first swing

void showImage(UiCustomButton *pButton, bool pSecond)
{
    if (pButton)
        pButton->setImage(pSecond ? pButton->backgroundImage2() : pButton->backgroundImage());
}

} // namespace

UiNoteWindowAdvanced::UiNoteWindowAdvanced(QWidget *parent) : UiFreeWindow(parent)
{
    setObjectName(QStringLiteral("VelmorantWidgetForm"));
    setEnabled(true);
    setAcceptDrops(true);
    m_colorName = QLatin1String(kDefaultColor);
    m_tagName.clear();
    m_colorMode = true;
    m_shakeTimer = new QTimer(this);
    connect(m_shakeTimer, &QTimer::timeout, this, &UiNoteWindowAdvanced::timerAction);
    setWindowName("UiNoteWindowAdvanced");
    buildWindow();
}

UiNoteWindowAdvanced::~UiNoteWindowAdvanced() = default;

const UiNoteWindowAdvanced::NoteColor *UiNoteWindowAdvanced::findColor(const QString &pKey)
{
    for (const NoteColor &color : kColors)
        if (pKey == QLatin1String(color.key))
            return &color;
    return nullptr;
}

const UiNoteWindowAdvanced::NoteTag *UiNoteWindowAdvanced::findTag(const QString &pKey)
{
    for (const NoteTag &tag : kTags)
        if (pKey == QLatin1String(tag.key))
            return &tag;
    return nullptr;
}

void UiNoteWindowAdvanced::onWindowBuilt()
{
    m_mainText = findWidget<QTextEdit>("MainText");
    m_backgroundColor = findWidget<QLabel>("BackgroundColor");
    m_characterCounter = findWidget<QLabel>("CharacterCounter");
    m_colorButton = findWidget<UiCustomButton>("ColorButton");
    m_tagButton = findWidget<UiCustomButton>("TagButton");
    m_closeButton = findWidget<UiCustomButton>("CloseButton");
    m_validButton = findWidget<UiCustomButton>("ValidButton");
    if (!m_mainText || !m_characterCounter)
        qCWarning(lcWindows) << "note window: the description lacks MainText or CharacterCounter";

    if (m_mainText) {
        QFont font = m_mainText->font();
        font.setPointSize(12);
        m_mainText->setFont(font);
        m_mainText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_mainText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_mainText->setAcceptRichText(false);
    }

    for (int i = 0; i < 9; ++i) {
        m_colorButtons[i] = findWidget<UiCustomButton>(kColors[i].button);
        if (m_colorButtons[i])
            m_colorButtons[i]->setProperty(kColorProperty, QLatin1String(kColors[i].key));
    }
    for (int i = 0; i < 9; ++i) {
        m_tagButtons[i] = findWidget<UiCustomButton>(kTags[i].button);
        if (m_tagButtons[i])
            m_tagButtons[i]->setProperty(kTagProperty, QLatin1String(kTags[i].key));
    }

    if (m_mainText)
        connect(m_mainText, &QTextEdit::textChanged, this, &UiNoteWindowAdvanced::onTextChanged, Qt::UniqueConnection);

    m_textColor = Qt::white;
    updateUi();
    if (m_mainText)
        m_mainText->installEventFilter(this);
}

void UiNoteWindowAdvanced::setClock(std::function<qint64()> pClock)
{
    m_clock = std::move(pClock);
}

qint64 UiNoteWindowAdvanced::now() const
{
    if (m_clock)
        return m_clock();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool UiNoteWindowAdvanced::isShaking() const
{
    return m_shakeTimer->isActive();
}

void UiNoteWindowAdvanced::reset(bool pResetColor)
{
    m_noteText.clear();
    if (pResetColor)
        m_colorName = QLatin1String(kDefaultColor);
    m_weightedLength = 0;
    m_lineBreakCount = 0;
    m_tagName.clear();
    m_colorMode = true;
    if (m_mainText) {
        m_mainText->setTextColor(m_textColor);
        m_mainText->clear();
    }
    updateUi();
}

QString UiNoteWindowAdvanced::composedNote() const
{
    const NoteColor *color = findColor(m_colorName);
    const NoteTag *tag = findTag(m_tagName);
    return QLatin1String(color ? color->code : "") + QLatin1Char('\n') + QLatin1String(tag ? tag->code : kNoTagCode) +
           QLatin1Char('\n') + m_noteText;
}

void UiNoteWindowAdvanced::setVisibleColorButton(bool pBool)
{
    for (const QPointer<UiCustomButton> &button : m_colorButtons)
        if (button)
            button->setVisible(pBool);
}

void UiNoteWindowAdvanced::setVisibleTagButton(bool pBool)
{
    for (const QPointer<UiCustomButton> &button : m_tagButtons)
        if (button)
            button->setVisible(pBool);
}

void UiNoteWindowAdvanced::setTextBoxColor()
{
    if (m_mainText)
        m_mainText->setTextColor(m_textColor);
}

void UiNoteWindowAdvanced::updateUi()
{
    showImage(m_colorButton, false);
    showImage(m_tagButton, false);
    for (const QPointer<UiCustomButton> &button : m_colorButtons)
        showImage(button, false);
    for (const QPointer<UiCustomButton> &button : m_tagButtons)
        showImage(button, false);

    if (m_colorMode) {
        showImage(m_colorButton, true);
        setVisibleColorButton(true);
        setVisibleTagButton(false);
        if (const NoteColor *color = findColor(m_colorName)) {
            m_textColor = QColor(QLatin1String(color->textColor));
            if (m_backgroundColor)
                m_backgroundColor->setPixmap(renderImage(QLatin1String(color->backgroundImage), width(), height()));
            showImage(m_colorButtons[color - kColors], true);
            showImage(m_closeButton, m_colorName == QLatin1String(kGrayColor));
            if (m_characterCounter)
                m_characterCounter->setStyleSheet(QLatin1String(color->counterStyleSheet));
        }
    } else {
        showImage(m_tagButton, true);
        setVisibleColorButton(false);
        setVisibleTagButton(true);
        if (const NoteTag *tag = findTag(m_tagName))
            showImage(m_tagButtons[tag - kTags], true);
    }

    if (!m_mainText)
        return;
    // Give the whole text the note's text colour, the caret staying where it was.
    const QString text = m_mainText->toPlainText();
    const int caret = m_mainText->textCursor().position();
    if (!text.isEmpty())
        m_mainText->moveCursor(QTextCursor::Start);
    setTextBoxColor();
    m_mainText->setPlainText(m_mainText->toPlainText());
    if (!text.isEmpty()) {
        QTextCursor cursor = m_mainText->textCursor();
        cursor.setPosition(std::min(caret, int(m_mainText->toPlainText().size())));
        m_mainText->setTextCursor(cursor);
    }
    setTextBoxColor();
}

void UiNoteWindowAdvanced::stlButtonValidationClicked()
{
    close();
    emit closed();
}

void UiNoteWindowAdvanced::stlButtonCloseClicked()
{
    m_noteText.clear(); // closed without validation: nothing to send
    close();
    emit closed();
}

void UiNoteWindowAdvanced::stlButtonColorModeClicked()
{
    m_colorMode = true;
    updateUi();
}

void UiNoteWindowAdvanced::stlButtonTagModeClicked()
{
    m_colorMode = false;
    updateUi();
}

void UiNoteWindowAdvanced::stlButtonColorClicked()
{
    auto *button = qobject_cast<UiCustomButton *>(sender());
    if (!button)
        return;
    const QString key = button->property(kColorProperty).toString();
    if (!key.isEmpty())
        m_colorName = key;
    updateUi();
}

void UiNoteWindowAdvanced::stlButtonTagClicked()
{
    auto *button = qobject_cast<UiCustomButton *>(sender());
    if (!button)
        return;
    const QString key = button->property(kTagProperty).toString();
    if (!key.isEmpty()) {
        if (key == m_tagName)
            m_tagName.clear();
        else
            m_tagName = key;
    }
    updateUi();
}

void UiNoteWindowAdvanced::onTextChanged()
{
    if (!m_mainText)
        return;
    setTextBoxColor();
    const QString text = m_mainText->toPlainText();
    m_lineBreakCount = NoteLimit::lineBreaks(text);
    m_weightedLength = NoteLimit::weight(text);
    if (m_weightedLength <= NoteLimit::kMaxWeight) {
        m_noteText = text;
        m_lastText = text;
        if (m_characterCounter)
            m_characterCounter->setText(QString::number(NoteLimit::kMaxWeight - m_weightedLength));
        return;
    }

    // A paste, a drop or an input method went over the limit: keep what was
    // there and as much of the new text as fits.
    int caret = 0;
    const QString kept = NoteLimit::fit(m_lastText, text, caret);
    qCDebug(lcWindows) << "note text cut from" << text.size() << "to" << kept.size() << "characters";
    m_mainText->setPlainText(kept); // comes back here, within the limit
    QTextCursor cursor = m_mainText->textCursor();
    cursor.setPosition(std::min(caret, int(m_mainText->toPlainText().size())));
    m_mainText->setTextCursor(cursor);
    startShake();
}

bool UiNoteWindowAdvanced::acceptsKey(const QKeyEvent *pEvent) const
{
    const int key = pEvent->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_mainText && !m_mainText->toPlainText().isEmpty() &&
        (m_lineBreakCount >= kMaxLineBreaks || m_weightedLength + NoteLimit::kLineBreakWeight > NoteLimit::kMaxWeight))
        return false;
    if (m_weightedLength < NoteLimit::kMaxWeight)
        return true;
    switch (key) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
    // Keys that add nothing: a full note can still be walked through,
    // selected and copied.
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
        return true;
    default:
        return pEvent->matches(QKeySequence::Copy) || pEvent->matches(QKeySequence::SelectAll) ||
               pEvent->matches(QKeySequence::Cut);
    }
}

bool UiNoteWindowAdvanced::eventFilter(QObject *pWatched, QEvent *pEvent)
{
    if (!m_mainText || pWatched != m_mainText)
        return UiFreeWindow::eventFilter(pWatched, pEvent);

    if (pEvent->type() == QEvent::KeyPress) {
        if (!acceptsKey(static_cast<QKeyEvent *>(pEvent))) {
            startShake();
            return true;
        }
    } else if (pEvent->type() == QEvent::InputMethodQuery && !m_inInputMethodQuery &&
               m_mainText->textCursor().position() == 0 && !m_noteText.isEmpty()) {
        // Text typed at the very start takes the note's colour, not the
        // default one; moving the caret sends this event again.
        m_inInputMethodQuery = true;
        m_mainText->moveCursor(QTextCursor::Start);
        setTextBoxColor();
        m_inInputMethodQuery = false;
    }
    return UiFreeWindow::eventFilter(pWatched, pEvent);
}

void UiNoteWindowAdvanced::startShake()
{
    if (m_shakeTimer->isActive() || !m_characterCounter)
        return;
    m_shakeStart = now();
    // Taken now rather than after the build: a change of screen may have
    // rescaled the counter since.
    m_shakeOrigin = m_characterCounter->geometry();
    m_shakeTimer->start(kShakeInterval);
}

void UiNoteWindowAdvanced::timerAction()
{
    if (!m_characterCounter) {
        m_shakeTimer->stop();
        return;
    }
    const qint64 elapsed = now() - m_shakeStart;
    const double phase = kShakeSpeed * double(elapsed);
    double amplitude = 0.0;
    if (phase <= kShakeSwing)
        amplitude = 1.0;
    else if (phase <= 2 * kShakeSwing)
        amplitude = 2.0 / 3.0;
    else if (phase <= 3 * kShakeSwing)
        amplitude = 1.0 / 3.0;
    const int offset = int(std::sin(phase) * kShakeWidth * amplitude);
    m_characterCounter->setGeometry(m_shakeOrigin.x() + offset, m_shakeOrigin.y(), m_shakeOrigin.width(),
                                    m_shakeOrigin.height());
    m_characterCounter->repaint();
    if (phase >= 3 * kShakeSwing) {
        m_shakeTimer->stop();
        m_characterCounter->setGeometry(m_shakeOrigin);
    }
}

} // namespace Advanced
} // namespace Velmorant
