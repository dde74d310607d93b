// SPDX-License-Identifier: GPL-2.0-or-later
// Times the conversion of a 1920x1080 BGRX picture (the X11 capture's own
// pixels) to YUV 4:2:0: libyuv's ARGBToI420 against libswscale's bgra path.
// Prints "colour_<name> <median µs> us <ratio to libswscale>".
#include <libyuv/convert.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

template <class Convert> double medianMicros(Convert pConvert)
{
    std::vector<double> times;
    for (int i = 0; i < 101; ++i) {
        const auto start = std::chrono::steady_clock::now();
        pConvert();
        times.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main()
{
    constexpr int W = 1920, H = 1080;
    std::vector<uint8_t> bgrx(size_t(W) * H * 4);
    for (size_t i = 0; i < bgrx.size(); ++i)
        bgrx[i] = uint8_t((i * 2654435761u) >> 24);
    std::vector<uint8_t> y(size_t(W) * H), u(size_t(W) * H / 4), v(size_t(W) * H / 4);

    const double yuv = medianMicros(
        [&] { libyuv::ARGBToI420(bgrx.data(), W * 4, y.data(), W, u.data(), W / 2, v.data(), W / 2, W, H); });
    SwsContext *sws = sws_getContext(W, H, AV_PIX_FMT_BGRA, W, H, AV_PIX_FMT_YUV420P, 0, nullptr, nullptr, nullptr);
    const uint8_t *source[1] = {bgrx.data()};
    const int sourceStride[1] = {W * 4};
    uint8_t *planes[3] = {y.data(), u.data(), v.data()};
    const int strides[3] = {W, W / 2, W / 2};
    const double swscale = medianMicros([&] { sws_scale(sws, source, sourceStride, 0, H, planes, strides); });
    sws_freeContext(sws);
    std::printf("colour_libyuv_argbtoi420 %.0f us %.2f\n", yuv, yuv / swscale);
    std::printf("colour_libswscale_bgra %.0f us 1.00\n", swscale);
    return 0;
}
