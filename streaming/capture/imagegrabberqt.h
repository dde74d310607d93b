// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "capture/imagegrabber.h"

#include <QMutex>
#include <QWindow>

class QScreen;

// Portable grabber through QScreen::grabWindow. The screen must be selected
// (setScreenIndex) from the GUI thread; Qt grabs on the grab thread, which
// the xcb platform allows.
class ImageGrabberQt : public ImageGrabber {
    Q_OBJECT
public:
    explicit ImageGrabberQt(QObject *pParent = nullptr);
    ~ImageGrabberQt() override;

    void setScreenIndex(int pIndex) override;
    QString getScreenName() override;
    int getScreenWidth() override;
    int getScreenHeight() override;
    bool isScreenCountChanged() override;
    void stop() override;

public slots:
    void setGrabbedScreenToNull();

protected:
    Grab grab(FrameRecord &pImage) override;

private:
    QMutex mScreenGuard; // guards mScreen
    QScreen *mScreen = nullptr;
    WId mDesktopWindow = 0;
    std::atomic<int> mScreenIndex{0};
    std::atomic<int> mScreenCount{-1};  // -1 while not grabbing, else screens when selected
    std::atomic<int> mSelectedCount{0}; // screens when selected; bounds the index in run()
};
