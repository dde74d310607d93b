// SPDX-License-Identifier: GPL-2.0-or-later
// Capture through the desktop portal's screen cast: the user picks the
// monitor in the portal's dialog, so there is exactly one monitor here, and
// its pixels arrive as a PipeWire stream. Opening starts the session without
// waiting for the user; the geometry is unknown (and nothing is grabbed)
// until the stream has settled on a format. A refused or ended session
// reports no monitor, which ends the stream as a lost monitor does.
#include "platform/backendchoice_linux.h"
#include "platform/pipewirestream_linux.h"
#include "platform/platformlog_linux.h"
#include "platform/portalsession_linux.h"

#include <QLoggingCategory>
#include <QSettings>

#include <mutex>

namespace glimra::platform {

namespace {

const wchar_t *const MonitorName = L"screen-cast";
// Before the first stream nobody knows the size; a common one stands in.
constexpr int NominalWidth = 1920;
constexpr int NominalHeight = 1080;

std::mutex gLiveMutex;
std::weak_ptr<PipeWireStream> gLiveStream; // the capturing stream, for the pointer

struct RememberedSize {
    int width = 0;
    int height = 0;
};

RememberedSize rememberedSize()
{
    QSettings settings(portalTokenFile(), QSettings::IniFormat);
    RememberedSize size;
    size.width = settings.value(QStringLiteral("screenCast/width")).toInt();
    size.height = settings.value(QStringLiteral("screenCast/height")).toInt();
    if (size.width <= 0 || size.height <= 0 || size.width > 16384 || size.height > 16384)
        size = RememberedSize();
    return size;
}

void rememberSize(int pWidth, int pHeight)
{
    const RememberedSize known = rememberedSize();
    if (known.width == pWidth && known.height == pHeight)
        return;
    QSettings settings(portalTokenFile(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("screenCast/width"), pWidth);
    settings.setValue(QStringLiteral("screenCast/height"), pHeight);
}

class PortalScreenCapture final : public ScreenCapture {
public:
    ~PortalScreenCapture() override { close(); }

    std::vector<MonitorInfo> enumerateMonitors() override
    {
        MonitorInfo info;
        info.name = MonitorName;
        if (!liveGeometry(info)) {
            const RememberedSize size = rememberedSize();
            info.physicalWidth = info.logicalWidth = size.width > 0 ? size.width : NominalWidth;
            info.physicalHeight = info.logicalHeight = size.height > 0 ? size.height : NominalHeight;
        }
        return {info};
    }

    // One monitor, or none once the user refused or ended the sharing.
    int monitorCount() override
    {
        const std::shared_ptr<PortalSession> session = PortalSession::current();
        if (!session)
            return 1;
        const PortalSession::State state = session->state();
        return state == PortalSession::State::Failed || state == PortalSession::State::Closed ? 0 : 1;
    }

    bool open(const std::wstring &pName) override
    {
        close();
        if (pName != MonitorName)
            return false;
        mSession = PortalSession::open(remoteInputWanted());
        return true;
    }

    bool readGeometry(MonitorInfo &pInfo) override
    {
        if (!mSession)
            return false;
        if (!mStream && mSession->state() == PortalSession::State::Started) {
            const int fd = mSession->takePipeWireFd();
            auto stream = std::make_shared<PipeWireStream>();
            if (fd >= 0 && stream->start(fd, mSession->stream().node)) {
                mStream = stream;
                std::lock_guard<std::mutex> lock(gLiveMutex);
                gLiveStream = mStream;
            } else {
                // Nothing will ever arrive: end the stream as a lost monitor would.
                mSession->markFailed();
            }
        }
        if (mStream && mStream->failed())
            mSession->markFailed();
        pInfo.name = MonitorName;
        if (!liveGeometry(pInfo))
            return false;
        if (!mSizeRemembered)
            rememberSize(pInfo.physicalWidth, pInfo.physicalHeight);
        mSizeRemembered = true;
        return true;
    }

    bool prepare(int pWidth, int pHeight) override
    {
        mWidth = pWidth;
        mHeight = pHeight;
        return mStream && pWidth > 0 && pHeight > 0;
    }

    bool capture(uint8_t *) override { return false; }

    bool mayHaveChanged() override { return !mStream || mStream->takeDamage(); }

    bool hasBgrx() const override { return true; }

    const uint8_t *captureBgrx(int &pStride) override
    {
        pStride = 0;
        if (!mStream || mWidth <= 0)
            return nullptr;
        return mStream->takeFrame(mWidth, mHeight, pStride);
    }

    void close() override
    {
        if (mStream) {
            std::lock_guard<std::mutex> lock(gLiveMutex);
            gLiveStream.reset();
        }
        mStream.reset();
        mSession.reset();
        mWidth = mHeight = 0;
        mSizeRemembered = false;
    }

private:
    // The running session's geometry: the portal's place and size (logical),
    // the negotiated frame size (physical).
    bool liveGeometry(MonitorInfo &pInfo) const
    {
        const std::shared_ptr<PortalSession> session = mSession ? mSession : PortalSession::current();
        if (!session || session->state() != PortalSession::State::Started)
            return false;
        std::shared_ptr<PipeWireStream> stream = mStream;
        if (!stream) {
            std::lock_guard<std::mutex> lock(gLiveMutex);
            stream = gLiveStream.lock();
        }
        int width = 0, height = 0;
        if (stream)
            stream->size(width, height);
        if (width <= 0 || height <= 0)
            return false;
        const PortalStream place = session->stream();
        pInfo.x = place.x;
        pInfo.y = place.y;
        pInfo.physicalWidth = width;
        pInfo.physicalHeight = height;
        pInfo.logicalWidth = place.width > 0 ? place.width : width;
        pInfo.logicalHeight = place.height > 0 ? place.height : height;
        return true;
    }

    std::shared_ptr<PortalSession> mSession;
    std::shared_ptr<PipeWireStream> mStream;
    int mWidth = 0;
    int mHeight = 0;
    bool mSizeRemembered = false;
};

} // namespace

std::unique_ptr<ScreenCapture> createPortalScreenCapture()
{
    return std::make_unique<PortalScreenCapture>();
}

CapturedPointer capturedPointer()
{
    CapturedPointer pointer;
    if (!usePortalBackends())
        return pointer;
    pointer.source = CapturedPointer::Unknown;
    std::shared_ptr<PipeWireStream> stream;
    {
        std::lock_guard<std::mutex> lock(gLiveMutex);
        stream = gLiveStream.lock();
    }
    int x = 0, y = 0, width = 0, height = 0;
    if (!stream || !stream->cursor(x, y))
        return pointer;
    stream->size(width, height);
    if (width <= 0 || height <= 0)
        return pointer;
    pointer.source = CapturedPointer::Captured;
    pointer.x = float(x) / float(width);
    pointer.y = float(y) / float(height);
    return pointer;
}

} // namespace glimra::platform
