// SPDX-License-Identifier: GPL-2.0-or-later
// The sticky note composer: a short text on one of nine coloured notes, with
// at most one of nine tags. The text is held to the note's weighted length
// (a line break counts 20), a counter shows what is left and shakes when a
// key is refused. The session window owns one, shows it application-modal
// and sends composedNote() when it closes validated. GUI thread only.
#pragma once

#include "uifreewindow.h"

#include <QColor>
#include <QPointer>
#include <QRect>
#include <QString>

#include <functional>

class QLabel;
class QTextEdit;
class QTimer;
class UiCustomButton;

namespace Velmorant {
namespace Advanced {

class UiNoteWindowAdvanced : public UiFreeWindow {
    Q_OBJECT
public:
    struct NoteColor {
        const char *key;
        const char *code;
        const char *textColor;
        const char *counterStyleSheet;
        const char *backgroundImage;
        const char *button;
    };
    struct NoteTag {
        const char *key;
        const char *code;
        const char *button;
    };
    // The codes belong to the note format the room reads; they do not follow
    // the order of the buttons.
    static const NoteColor kColors[9];
    static const NoteTag kTags[9];
    static const char kDefaultColor[];
    static const char kNoTagCode[];

    explicit UiNoteWindowAdvanced(QWidget *parent = nullptr);
    ~UiNoteWindowAdvanced() override;

    // An empty note with no tag and the colour row shown; the colour goes
    // back to yellow only when pResetColor is set.
    void reset(bool pResetColor);
    // There is text to send.
    bool isValidated() const { return !m_noteText.isEmpty(); }
    // Colour code, tag code ("#tag=0" for none) and the text, one per line.
    QString composedNote() const;

    QString colorName() const { return m_colorName; }
    QString tagName() const { return m_tagName; }
    QString noteText() const { return m_noteText; }
    int weightedLength() const { return m_weightedLength; }
    bool isShaking() const;

    // Milliseconds of a monotonic clock, for the counter's shake (tests
    // replace it).
    void setClock(std::function<qint64()> pClock);

signals:
    void closed();

public slots:
    void setVisibleColorButton(bool pBool);
    void setVisibleTagButton(bool pBool);

protected slots:
    void stlButtonValidationClicked();
    void stlButtonCloseClicked();
    void stlButtonColorModeClicked();
    void stlButtonTagModeClicked();
    void stlButtonColorClicked();
    void stlButtonTagClicked();
    void updateUi();
    void onTextChanged();
    void timerAction();

protected:
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override;
    void onWindowBuilt() override;

private:
    static const NoteColor *findColor(const QString &pKey);
    static const NoteTag *findTag(const QString &pKey);
    // Whether a key press may reach the text box.
    bool acceptsKey(const QKeyEvent *pEvent) const;
    void startShake();
    void setTextBoxColor();
    qint64 now() const;

    QString m_colorName;
    QString m_tagName;
    bool m_colorMode = true;
    QString m_noteText;
    // What the text box held after its last change within the limit: the
    // base an edit that goes over it is measured from.
    QString m_lastText;
    int m_weightedLength = 0;
    int m_lineBreakCount = 0;
    QColor m_textColor = Qt::white;

    QTimer *m_shakeTimer = nullptr;
    qint64 m_shakeStart = 0;
    QRect m_shakeOrigin;
    std::function<qint64()> m_clock;
    bool m_inInputMethodQuery = false;

    // Found by name after every build; null when the description lacks them.
    QPointer<QTextEdit> m_mainText;
    QPointer<QLabel> m_backgroundColor;
    QPointer<QLabel> m_characterCounter;
    QPointer<UiCustomButton> m_colorButton;
    QPointer<UiCustomButton> m_tagButton;
    QPointer<UiCustomButton> m_closeButton;
    QPointer<UiCustomButton> m_validButton;
    QPointer<UiCustomButton> m_colorButtons[9];
    QPointer<UiCustomButton> m_tagButtons[9];
};

} // namespace Advanced
} // namespace Velmorant
