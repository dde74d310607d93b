// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/pipewirestream_linux.h"
#include "platform/platformlog_linux.h"

#include <QLoggingCategory>

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>

#include <cstring>
#include <mutex>
#include <unistd.h>

namespace glimra::platform {

namespace {

constexpr int MaxDamageRegions = 16;
constexpr int MaxCursorBitmap = 64; // we read the position only; producers may attach a bitmap

void onParamChanged(void *pData, uint32_t pId, const spa_pod *pParam);
void onProcess(void *pData);
void onStateChanged(void *pData, pw_stream_state, pw_stream_state pState, const char *pError);

const pw_stream_events StreamEvents = [] {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = onStateChanged;
    events.param_changed = onParamChanged;
    events.process = onProcess;
    return events;
}();

void onStateChanged(void *pData, pw_stream_state, pw_stream_state pState, const char *pError)
{
    auto *self = static_cast<PipeWireStream *>(pData);
    if (pState == PW_STREAM_STATE_ERROR)
        self->onStreamError(pError ? pError : "stream error");
    else if (pState == PW_STREAM_STATE_UNCONNECTED)
        self->onStreamError("the producer went away");
}

void onProcess(void *pData)
{
    static_cast<PipeWireStream *>(pData)->onProcess();
}

// What we take: 32-bit BGRx or BGRA (the same bytes for us) at any size,
// in shared memory.
const spa_pod *formatParam(spa_pod_builder *pBuilder)
{
    const spa_rectangle defaultSize = SPA_RECTANGLE(1920, 1080);
    const spa_rectangle minSize = SPA_RECTANGLE(1, 1);
    const spa_rectangle maxSize = SPA_RECTANGLE(16384, 16384);
    const spa_fraction defaultRate = SPA_FRACTION(60, 1);
    const spa_fraction minRate = SPA_FRACTION(0, 1);
    const spa_fraction maxRate = SPA_FRACTION(1000, 1);
    return static_cast<const spa_pod *>(spa_pod_builder_add_object(
        pBuilder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(3, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &minSize, &maxSize),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&minRate), SPA_FORMAT_VIDEO_maxFramerate,
        SPA_POD_CHOICE_RANGE_Fraction(&defaultRate, &minRate, &maxRate)));
}

void onParamChanged(void *pData, uint32_t pId, const spa_pod *pParam)
{
    auto *self = static_cast<PipeWireStream *>(pData);
    if (pId != SPA_PARAM_Format || !pParam)
        return;
    spa_video_info_raw info{};
    uint32_t mediaType = 0, mediaSubtype = 0;
    const bool parsed = spa_format_parse(pParam, &mediaType, &mediaSubtype) >= 0 && mediaType == SPA_MEDIA_TYPE_video &&
                        mediaSubtype == SPA_MEDIA_SUBTYPE_raw && spa_format_video_raw_parse(pParam, &info) >= 0;
    const bool valid = parsed && (info.format == SPA_VIDEO_FORMAT_BGRx || info.format == SPA_VIDEO_FORMAT_BGRA) &&
                       info.size.width > 0 && info.size.height > 0 && info.size.width <= 16384 &&
                       info.size.height <= 16384;
    self->onFormat(valid ? int(info.size.width) : 0, valid ? int(info.size.height) : 0, valid);
    if (!valid)
        return;
    // Buffers in shared memory (memfd or plain), and the metadata we read.
    uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const spa_pod *params[4];
    params[0] = static_cast<const spa_pod *>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    params[1] = static_cast<const spa_pod *>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
        SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
    params[2] = static_cast<const spa_pod *>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoDamage),
        SPA_PARAM_META_size,
        SPA_POD_CHOICE_RANGE_Int(int(sizeof(spa_meta_region) * MaxDamageRegions), int(sizeof(spa_meta_region)),
                                 int(sizeof(spa_meta_region) * MaxDamageRegions))));
    const int cursorMax =
        int(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap) + MaxCursorBitmap * MaxCursorBitmap * 4);
    params[3] = static_cast<const spa_pod *>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
        SPA_PARAM_META_size, SPA_POD_CHOICE_RANGE_Int(cursorMax, int(sizeof(spa_meta_cursor)), cursorMax)));
    pw_stream_update_params(self->stream(), params, 4);
}

} // namespace

struct PipeWireStream::Listeners {
    spa_hook stream{};
};

PipeWireStream::PipeWireStream()
{
    // Once per process and never undone: streams come and go, the library stays.
    static std::once_flag initialised;
    std::call_once(initialised, [] { pw_init(nullptr, nullptr); });
}

PipeWireStream::~PipeWireStream()
{
    stop();
}

pw_stream *PipeWireStream::stream() const
{
    return mStream;
}

bool PipeWireStream::start(int pFd, uint32_t pNode)
{
    stop();
    mLoop = pw_thread_loop_new("glimra-pipewire", nullptr);
    if (!mLoop) {
        ::close(pFd);
        return false;
    }
    mContext = pw_context_new(pw_thread_loop_get_loop(mLoop), nullptr, 0);
    if (!mContext || pw_thread_loop_start(mLoop) < 0) {
        ::close(pFd);
        stop();
        return false;
    }
    pw_thread_loop_lock(mLoop);
    mCore = pw_context_connect_fd(mContext, pFd, nullptr, 0);
    bool ok = mCore != nullptr;
    if (ok) {
        mStream = pw_stream_new(mCore, "glimra-screen",
                                pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                                  PW_KEY_MEDIA_ROLE, "Screen", nullptr));
        ok = mStream != nullptr;
    }
    if (ok) {
        mListeners = std::make_unique<Listeners>();
        pw_stream_add_listener(mStream, &mListeners->stream, &StreamEvents, this);
        uint8_t buffer[1024];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
        const spa_pod *params[1] = {formatParam(&builder)};
        ok = pw_stream_connect(mStream, PW_DIRECTION_INPUT, pNode,
                               static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
                               params, 1) == 0;
    }
    pw_thread_loop_unlock(mLoop);
    if (!ok) {
        qCWarning(lcPlatform) << "cannot connect to the screen cast's PipeWire node" << pNode;
        stop();
    }
    return ok;
}

void PipeWireStream::stop()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mStopping = true; // our own disconnection is no error
    }
    if (mLoop)
        pw_thread_loop_stop(mLoop);
    if (mStream)
        pw_stream_destroy(mStream);
    mStream = nullptr;
    mListeners.reset();
    if (mCore)
        pw_core_disconnect(mCore);
    mCore = nullptr;
    if (mContext)
        pw_context_destroy(mContext);
    mContext = nullptr;
    if (mLoop)
        pw_thread_loop_destroy(mLoop);
    mLoop = nullptr;
    std::lock_guard<std::mutex> lock(mMutex);
    mWidth = mHeight = 0;
    mFailed = false;
    mFresh = false;
    mCursorVisible = false;
    mStopping = false;
    mBack.clear();
    mFront.clear();
    mBackWidth = mBackHeight = mFrontWidth = mFrontHeight = 0;
}

void PipeWireStream::size(int &pWidth, int &pHeight) const
{
    std::lock_guard<std::mutex> lock(mMutex);
    pWidth = mFresh || mFront.empty() ? mBackWidth : mFrontWidth;
    pHeight = mFresh || mFront.empty() ? mBackHeight : mFrontHeight;
}

bool PipeWireStream::failed() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mFailed;
}

bool PipeWireStream::takeDamage()
{
    std::lock_guard<std::mutex> lock(mMutex);
    const bool damaged = mDamaged;
    mDamaged = false;
    return damaged;
}

const uint8_t *PipeWireStream::takeFrame(int pWidth, int pHeight, int &pStride)
{
    std::lock_guard<std::mutex> lock(mMutex);
    // A frame of another size (the producer resized) is not handed out: the
    // last one of the asked size stands until the caller sees the new size.
    if (mFresh && mBackWidth == pWidth && mBackHeight == pHeight) {
        mFront.swap(mBack);
        mFresh = false;
        std::swap(mBackWidth, mFrontWidth);
        std::swap(mBackHeight, mFrontHeight);
    }
    if (mFront.empty() || mFrontWidth != pWidth || mFrontHeight != pHeight)
        return nullptr;
    pStride = mFrontWidth * 4;
    return mFront.data();
}

bool PipeWireStream::cursor(int &pX, int &pY) const
{
    std::lock_guard<std::mutex> lock(mMutex);
    pX = mCursorX;
    pY = mCursorY;
    return mCursorVisible && mCursorX >= 0 && mCursorY >= 0 && mCursorX < mWidth && mCursorY < mHeight && !mFailed;
}

void PipeWireStream::onFormat(int pWidth, int pHeight, bool pValid)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mWidth = pWidth;
    mHeight = pHeight;
    mDamaged = true;
    if (!pValid)
        qCWarning(lcPlatform) << "the screen cast offers no 32-bit BGR format";
}

void PipeWireStream::onStreamError(const char *pWhy)
{
    std::lock_guard<std::mutex> lock(mMutex);
    if (mStopping)
        return;
    if (!mFailed)
        qCWarning(lcPlatform) << "screen cast stream:" << pWhy;
    mFailed = true;
}

void PipeWireStream::onProcess()
{
    // Only the newest buffer matters; older ones go straight back.
    pw_buffer *newest = nullptr;
    while (pw_buffer *next = pw_stream_dequeue_buffer(mStream)) {
        if (newest)
            pw_stream_queue_buffer(mStream, newest);
        newest = next;
    }
    if (!newest)
        return;
    spa_buffer *buffer = newest->buffer;

    std::lock_guard<std::mutex> lock(mMutex);
    if (auto *cursor = static_cast<spa_meta_cursor *>(
            spa_buffer_find_meta_data(buffer, SPA_META_Cursor, sizeof(spa_meta_cursor)))) {
        mCursorVisible = cursor->id != 0;
        if (mCursorVisible) {
            mCursorX = cursor->position.x;
            mCursorY = cursor->position.y;
        }
    }
    const auto *header =
        static_cast<spa_meta_header *>(spa_buffer_find_meta_data(buffer, SPA_META_Header, sizeof(spa_meta_header)));
    const spa_data &data = buffer->datas[0];
    // A buffer without pixels carries metadata only (a cursor move).
    const bool corrupted =
        (header && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED)) || (data.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED);
    if (buffer->n_datas < 1 || data.chunk->size == 0 || corrupted || mWidth <= 0) {
        pw_stream_queue_buffer(mStream, newest);
        return;
    }
    if (!data.data) {
        if (!mNoMappingLogged)
            qCWarning(lcPlatform) << "a screen cast buffer that cannot be mapped (type" << data.type << "); skipped";
        mNoMappingLogged = true;
        pw_stream_queue_buffer(mStream, newest);
        return;
    }
    const int rowBytes = mWidth * 4;
    const int stride = data.chunk->stride > 0 ? data.chunk->stride : rowBytes;
    const uint64_t offset = data.chunk->offset % (data.maxsize ? data.maxsize : 1);
    // The producer's numbers are checked against the mapped size before any read.
    if (stride < rowBytes || offset + uint64_t(stride) * (mHeight - 1) + rowBytes > data.maxsize) {
        if (!mNoMappingLogged)
            qCWarning(lcPlatform) << "a screen cast buffer smaller than its frame; skipped";
        mNoMappingLogged = true;
        pw_stream_queue_buffer(mStream, newest);
        return;
    }
    bool damaged = true;
    if (auto *damage = spa_buffer_find_meta(buffer, SPA_META_VideoDamage)) {
        damaged = false;
        const auto *regions = static_cast<const spa_meta_region *>(damage->data);
        const size_t count = damage->size / sizeof(spa_meta_region);
        for (size_t i = 0; i < count && spa_meta_region_is_valid(&regions[i]); ++i)
            damaged = true;
    }
    if (damaged || mBackWidth != mWidth || mBackHeight != mHeight || (mFront.empty() && !mFresh)) {
        mBack.resize(size_t(rowBytes) * mHeight);
        const auto *source = static_cast<const uint8_t *>(data.data) + offset;
        if (stride == rowBytes) {
            std::memcpy(mBack.data(), source, mBack.size());
        } else {
            for (int y = 0; y < mHeight; ++y)
                std::memcpy(mBack.data() + size_t(y) * rowBytes, source + size_t(y) * stride, size_t(rowBytes));
        }
        mBackWidth = mWidth;
        mBackHeight = mHeight;
        mFresh = true;
    }
    mDamaged = mDamaged || damaged;
    pw_stream_queue_buffer(mStream, newest);
}

} // namespace glimra::platform
