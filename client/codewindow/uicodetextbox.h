// SPDX-License-Identifier: GPL-2.0-or-later
// The room code entry: five character cells over a background picture, a
// cursor picture behind the current cell, letters and digits only (upper
// case). Keys it does not handle go to its window. GUI thread only.
#pragma once

#include <QLabel>
#include <QString>

#include <array>

class UiFreeWindow;

class UiCodeTextbox : public QLabel {
    Q_OBJECT
public:
    static constexpr int kCellCount = 5;

    explicit UiCodeTextbox(QWidget *parent = nullptr);

    void setBackgroundImage(const QString &pPath);
    void setCursorImage(const QString &pPath);
    void setKeyReceiver(UiFreeWindow *pWindow) { m_window = pWindow; }
    void setCharacterLayout(int pMargin, int pWidth);

    // The five cells joined; "_" marks an empty cell.
    QString code() const;
    // Empties every cell without announcing.
    void clearCode();

    int cursorIndex() const { return m_cursorIndex; }
    int filledCount() const { return m_filled; }
    int cellWidth() const { return m_cellWidth; }
    int cellMargin() const { return m_cellMargin; }
    QLabel *cell(int pIndex) const { return m_cells[size_t(pIndex)]; }
    QLabel *cursorLabel() const { return m_cursor; }

    void layoutCells();

signals:
    void codeChanged(QString pCode);

protected:
    bool event(QEvent *pEvent) override;
    void keyPressEvent(QKeyEvent *pEvent) override;
    void resizeEvent(QResizeEvent *pEvent) override;
    void focusInEvent(QFocusEvent *pEvent) override;
    void focusOutEvent(QFocusEvent *pEvent) override;

private:
    void announce();
    void moveLeft();
    bool cellEmpty(int pIndex) const;

    UiFreeWindow *m_window = nullptr;
    QLabel *m_cursor;
    std::array<QLabel *, kCellCount> m_cells{};
    int m_filled = 0;
    int m_cellWidth = 0;
    int m_cellMargin = 0;
    QString m_lastCode;
    int m_cursorIndex = 0;
    QString m_backgroundPath;
};
