// SPDX-License-Identifier: GPL-2.0-or-later
// A PipeWire video source standing in for a compositor's screen cast: a
// driver with MemFd buffers of BGRx, variable rate, damage and cursor
// metadata. Each frame paints two rows of 32 blocks with the monotonic time
// (the benchmark's timestamp layout) and two more with the frame counter,
// each followed by its complement, on a steady background.
//
//   fakesource [--width W] [--height H] [--fps N] [--cursor X,Y|none] [--bad-stride yes]
//
// --bad-stride announces rows twice as far apart as they are: a frame that
// would end far beyond its buffer, for a reader that trusts the numbers.
//
// Prints "node ID" once the node exists. SIGUSR1 switches between the first
// size and 1280x720; SIGUSR2 stops and resumes producing frames.
#define _GNU_SOURCE
#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#define BITS 32
#define BLOCK_HEIGHT 40
#define MAX_BUFFERS 16
#define CURSOR_SIZE 16
#define CURSOR_META_SIZE(w, h)                                                                     \
    (int)(sizeof(struct spa_meta_cursor) + sizeof(struct spa_meta_bitmap) + (w) * (h) * 4)

struct source {
    struct pw_main_loop *loop;
    struct spa_source *timer;
    struct pw_stream *stream;
    struct spa_hook listener;
    int width, height, firstWidth, firstHeight;
    int stride;
    int fps;
    int cursorX, cursorY; /* -1: no cursor */
    uint32_t counter;
    int still;
    int badStride;
    int announced;
    struct {
        struct pw_buffer *buffer;
        int paintedWidth; /* background painted at this size */
    } painted[MAX_BUFFERS];
};

static uint32_t stampNow(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint32_t)(((int64_t)ts.tv_sec * 1000000 + ts.tv_nsec / 1000) / 100);
}

static void fillRect(uint8_t *pData, int pStride, int pX, int pY, int pW, int pH, uint32_t pBgrx)
{
    for (int y = pY; y < pY + pH; ++y) {
        uint32_t *row = (uint32_t *)(pData + (size_t)y * pStride) + pX;
        for (int x = 0; x < pW; ++x)
            row[x] = pBgrx;
    }
}

static void paintValue(struct source *s, uint8_t *pData, int pRow, uint32_t pValue)
{
    const int blockWidth = s->width / BITS;
    for (int i = 0; i < BITS; ++i) {
        const int bit = (pValue >> (BITS - 1 - i)) & 1u;
        fillRect(pData, s->stride, i * blockWidth, pRow * BLOCK_HEIGHT, blockWidth, BLOCK_HEIGHT,
                 bit ? 0xFFFFFFFFu : 0xFF000000u);
        fillRect(pData, s->stride, i * blockWidth, (pRow + 1) * BLOCK_HEIGHT, blockWidth, BLOCK_HEIGHT,
                 bit ? 0xFF000000u : 0xFFFFFFFFu);
    }
}

static int *paintedWidthOf(struct source *s, struct pw_buffer *pBuffer)
{
    for (int i = 0; i < MAX_BUFFERS; ++i)
        if (s->painted[i].buffer == pBuffer)
            return &s->painted[i].paintedWidth;
    return NULL;
}

static void onProcess(void *pData)
{
    struct source *s = pData;
    struct pw_buffer *b = pw_stream_dequeue_buffer(s->stream);
    if (!b)
        return;
    struct spa_buffer *buf = b->buffer;
    uint8_t *pixels = buf->datas[0].data;
    if (!pixels || s->width <= 0)
        goto queue;
    const size_t size = (size_t)s->stride * s->height;
    if (buf->datas[0].maxsize < size)
        goto queue;

    int *paintedWidth = paintedWidthOf(s, b);
    int damageHeight = 4 * BLOCK_HEIGHT;
    if (!paintedWidth || *paintedWidth != s->width) {
        fillRect(pixels, s->stride, 0, 0, s->width, s->height, 0xFF5A3C28u); /* B 0x28 G 0x3C R 0x5A */
        if (paintedWidth)
            *paintedWidth = s->width;
        damageHeight = s->height;
    }
    paintValue(s, pixels, 0, stampNow());
    paintValue(s, pixels, 2, s->counter);

    struct spa_meta_header *header = spa_buffer_find_meta_data(buf, SPA_META_Header, sizeof(*header));
    if (header) {
        struct timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        header->pts = SPA_TIMESPEC_TO_NSEC(&ts);
        header->flags = 0;
        header->seq = s->counter;
        header->dts_offset = 0;
    }
    struct spa_meta *damage = spa_buffer_find_meta(buf, SPA_META_VideoDamage);
    if (damage) {
        struct spa_meta_region *r = spa_meta_first(damage);
        const size_t n = damage->size / sizeof(*r);
        if (n >= 1)
            r[0].region = SPA_REGION(0, 0, (uint32_t)s->width, (uint32_t)damageHeight);
        if (n >= 2)
            r[1].region = SPA_REGION(0, 0, 0, 0); /* the list ends at an empty region */
    }
    struct spa_meta_cursor *cursor = spa_buffer_find_meta_data(buf, SPA_META_Cursor, sizeof(*cursor));
    if (cursor) {
        if (s->cursorX < 0) {
            cursor->id = 0; /* no cursor */
        } else {
            cursor->id = 1;
            cursor->flags = 0;
            cursor->position.x = s->cursorX;
            cursor->position.y = s->cursorY;
            cursor->hotspot.x = cursor->hotspot.y = 0;
            cursor->bitmap_offset = 0; /* position only */
        }
    }
    buf->datas[0].chunk->offset = 0;
    buf->datas[0].chunk->size = (uint32_t)size;
    buf->datas[0].chunk->stride = s->badStride ? 2 * s->stride : s->stride;
    buf->datas[0].chunk->flags = 0;
    ++s->counter;
queue:
    pw_stream_queue_buffer(s->stream, b);
}

static void onAddBuffer(void *pData, struct pw_buffer *pBuffer)
{
    struct source *s = pData;
    struct spa_data *d = &pBuffer->buffer->datas[0];
    if (!(d->type & (1u << SPA_DATA_MemFd)))
        return;
    const size_t size = (size_t)s->stride * s->height;
    int fd = memfd_create("fakesource", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0 || ftruncate(fd, (off_t)size) < 0) {
        fprintf(stderr, "fakesource: memfd: %s\n", strerror(errno));
        return;
    }
    void *data = mmap(NULL, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
        close(fd);
        return;
    }
    d->type = SPA_DATA_MemFd;
    d->flags = SPA_DATA_FLAG_READWRITE;
    d->fd = fd;
    d->mapoffset = 0;
    d->maxsize = (uint32_t)size;
    d->data = data;
    for (int i = 0; i < MAX_BUFFERS; ++i) {
        if (!s->painted[i].buffer) {
            s->painted[i].buffer = pBuffer;
            s->painted[i].paintedWidth = 0;
            break;
        }
    }
}

static void onRemoveBuffer(void *pData, struct pw_buffer *pBuffer)
{
    struct source *s = pData;
    struct spa_data *d = &pBuffer->buffer->datas[0];
    if (d->type == SPA_DATA_MemFd && d->data) {
        munmap(d->data, d->maxsize);
        close((int)d->fd);
        d->data = NULL;
    }
    for (int i = 0; i < MAX_BUFFERS; ++i)
        if (s->painted[i].buffer == pBuffer)
            s->painted[i].buffer = NULL;
}

static const struct spa_pod *buildFormat(struct source *s, struct spa_pod_builder *b)
{
    return spa_pod_builder_add_object(
        b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_Id(SPA_VIDEO_FORMAT_BGRx), SPA_FORMAT_VIDEO_size,
        SPA_POD_Rectangle(&SPA_RECTANGLE((uint32_t)s->width, (uint32_t)s->height)), SPA_FORMAT_VIDEO_framerate,
        SPA_POD_Fraction(&SPA_FRACTION(0, 1)), SPA_FORMAT_VIDEO_maxFramerate,
        SPA_POD_CHOICE_RANGE_Fraction(&SPA_FRACTION((uint32_t)s->fps, 1), &SPA_FRACTION(1, 1),
                                      &SPA_FRACTION((uint32_t)s->fps, 1)));
}

static void onParamChanged(void *pData, uint32_t pId, const struct spa_pod *pParam)
{
    struct source *s = pData;
    if (pId != SPA_PARAM_Format || !pParam)
        return;
    struct spa_video_info_raw info;
    if (spa_format_video_raw_parse(pParam, &info) < 0)
        return;
    s->width = (int)info.size.width;
    s->height = (int)info.size.height;
    s->stride = s->width * 4;
    uint8_t buffer[1024];
    struct spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const struct spa_pod *params[4];
    params[0] = spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(4, 2, MAX_BUFFERS), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
        SPA_PARAM_BUFFERS_size, SPA_POD_Int(s->stride * s->height), SPA_PARAM_BUFFERS_stride, SPA_POD_Int(s->stride),
        SPA_PARAM_BUFFERS_dataType, SPA_POD_CHOICE_FLAGS_Int(1 << SPA_DATA_MemFd));
    params[1] = spa_pod_builder_add_object(&b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
                                           SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size,
                                           SPA_POD_Int(sizeof(struct spa_meta_header)));
    params[2] = spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoDamage),
        SPA_PARAM_META_size,
        SPA_POD_CHOICE_RANGE_Int(sizeof(struct spa_meta_region) * 16, sizeof(struct spa_meta_region) * 1,
                                 sizeof(struct spa_meta_region) * 16));
    params[3] = spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
        SPA_PARAM_META_size,
        SPA_POD_CHOICE_RANGE_Int(CURSOR_META_SIZE(CURSOR_SIZE, CURSOR_SIZE), sizeof(struct spa_meta_cursor),
                                 CURSOR_META_SIZE(CURSOR_SIZE, CURSOR_SIZE)));
    pw_stream_update_params(s->stream, params, 4);
}

static void onStateChanged(void *pData, enum pw_stream_state pOld, enum pw_stream_state pState, const char *pError)
{
    (void)pOld;
    struct source *s = pData;
    if (pState == PW_STREAM_STATE_ERROR)
        fprintf(stderr, "fakesource: stream error: %s\n", pError ? pError : "?");
    if (!s->announced && pw_stream_get_node_id(s->stream) != SPA_ID_INVALID) {
        printf("node %u\n", pw_stream_get_node_id(s->stream));
        fflush(stdout);
        s->announced = 1;
    }
    struct timespec interval = {0, 1000000000L / s->fps};
    struct timespec start = {0, 1};
    if (pState == PW_STREAM_STATE_STREAMING)
        pw_loop_update_timer(pw_main_loop_get_loop(s->loop), s->timer, &start, &interval, false);
    else if (pState == PW_STREAM_STATE_PAUSED)
        pw_loop_update_timer(pw_main_loop_get_loop(s->loop), s->timer, NULL, NULL, false);
}

static const struct pw_stream_events streamEvents = {
    PW_VERSION_STREAM_EVENTS,
    .state_changed = onStateChanged,
    .param_changed = onParamChanged,
    .add_buffer = onAddBuffer,
    .remove_buffer = onRemoveBuffer,
    .process = onProcess,
};

static void onTimeout(void *pData, uint64_t pExpirations)
{
    (void)pExpirations;
    struct source *s = pData;
    if (!s->still)
        pw_stream_trigger_process(s->stream);
}

static void updateFormat(struct source *s, int pWidth, int pHeight)
{
    s->width = pWidth;
    s->height = pHeight;
    uint8_t buffer[1024];
    struct spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const struct spa_pod *params[1] = {buildFormat(s, &b)};
    pw_stream_update_params(s->stream, params, 1);
}

static void onResize(void *pData, int pSignal)
{
    (void)pSignal;
    struct source *s = pData;
    const int big = s->width == s->firstWidth && s->height == s->firstHeight;
    updateFormat(s, big ? 1280 : s->firstWidth, big ? 720 : s->firstHeight);
}

static void onStill(void *pData, int pSignal)
{
    (void)pSignal;
    struct source *s = pData;
    s->still = !s->still;
}

static void onQuit(void *pData, int pSignal)
{
    (void)pSignal;
    struct source *s = pData;
    pw_main_loop_quit(s->loop);
}

int main(int argc, char *argv[])
{
    struct source s = {0};
    s.width = 1920;
    s.height = 1080;
    s.fps = 60;
    s.cursorX = 300;
    s.cursorY = 200;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "--width"))
            s.width = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--height"))
            s.height = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--fps"))
            s.fps = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--bad-stride"))
            s.badStride = !strcmp(argv[i + 1], "yes");
        else if (!strcmp(argv[i], "--cursor") && !strcmp(argv[i + 1], "none"))
            s.cursorX = s.cursorY = -1;
        else if (!strcmp(argv[i], "--cursor") && sscanf(argv[i + 1], "%d,%d", &s.cursorX, &s.cursorY) != 2)
            s.cursorX = s.cursorY = -1;
    }
    if (s.width < BITS || s.height < 4 * BLOCK_HEIGHT || s.fps < 1 || s.fps > 1000) {
        fprintf(stderr, "fakesource: bad size or rate\n");
        return 2;
    }
    s.firstWidth = s.width;
    s.firstHeight = s.height;
    s.stride = s.width * 4;

    pw_init(&argc, &argv);
    s.loop = pw_main_loop_new(NULL);
    struct pw_loop *loop = pw_main_loop_get_loop(s.loop);
    pw_loop_add_signal(loop, SIGINT, onQuit, &s);
    pw_loop_add_signal(loop, SIGTERM, onQuit, &s);
    pw_loop_add_signal(loop, SIGUSR1, onResize, &s);
    pw_loop_add_signal(loop, SIGUSR2, onStill, &s);
    s.timer = pw_loop_add_timer(loop, onTimeout, &s);

    s.stream = pw_stream_new_simple(loop, "fake-screen",
                                    pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_MEDIA_TYPE, "Video",
                                                      PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE, "Screen",
                                                      NULL),
                                    &streamEvents, &s);
    uint8_t buffer[1024];
    struct spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const struct spa_pod *params[1] = {buildFormat(&s, &b)};
    if (pw_stream_connect(s.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                          PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_ALLOC_BUFFERS | PW_STREAM_FLAG_MAP_BUFFERS, params,
                          1) < 0) {
        fprintf(stderr, "fakesource: cannot connect to PipeWire\n");
        return 1;
    }
    pw_main_loop_run(s.loop);
    pw_stream_destroy(s.stream);
    pw_main_loop_destroy(s.loop);
    pw_deinit();
    return 0;
}
