// colour.cpp: RGB to BT.709 limited-range Y'CbCr 4:2:0.
#include "tools/capture/colour.h"

namespace {

constexpr float kr = 0.2126f, kb = 0.0722f, kg = 1.0f - kr - kb;

// Scale and offset of the limited range, for values in 0..255.
constexpr float lumaScale = 219.0f / 255.0f;
constexpr float chromaScale = 224.0f / 255.0f;

std::uint8_t toByte(float v) {
    const float r = v + 0.5f;
    return std::uint8_t(r < 0.0f ? 0.0f : r > 255.0f ? 255.0f : r);
}

}  // namespace

std::size_t yuv420Bytes(int width, int height) {
    const std::size_t cw = std::size_t(width + 1) / 2, ch = std::size_t(height + 1) / 2;
    return std::size_t(width) * std::size_t(height) + 2 * cw * ch;
}

void rgbToYuv420(const std::uint8_t* rgb, int width, int height, std::uint8_t* yuv) {
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    std::uint8_t* luma = yuv;
    std::uint8_t* cb = yuv + std::size_t(width) * std::size_t(height);
    std::uint8_t* cr = cb + std::size_t(cw) * std::size_t(ch);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* p = rgb + std::size_t(y) * std::size_t(width) * 3u;
        for (int x = 0; x < width; ++x, p += 3)
            luma[std::size_t(y) * std::size_t(width) + std::size_t(x)] =
                toByte(16.0f + lumaScale * (kr * p[0] + kg * p[1] + kb * p[2]));
    }
    for (int by = 0; by < ch; ++by)
        for (int bx = 0; bx < cw; ++bx) {
            float sum[3] = {0.0f, 0.0f, 0.0f};
            int n = 0;
            for (int y = 2 * by; y < 2 * by + 2 && y < height; ++y)
                for (int x = 2 * bx; x < 2 * bx + 2 && x < width; ++x, ++n) {
                    const std::uint8_t* p = rgb + (std::size_t(y) * std::size_t(width) +
                                                   std::size_t(x)) * 3u;
                    for (int c = 0; c < 3; ++c) sum[c] += p[c];
                }
            const float r = sum[0] / n, g = sum[1] / n, b = sum[2] / n;
            const float yl = kr * r + kg * g + kb * b;
            const std::size_t at = std::size_t(by) * std::size_t(cw) + std::size_t(bx);
            cb[at] = toByte(128.0f + chromaScale * (b - yl) / (2.0f * (1.0f - kb)));
            cr[at] = toByte(128.0f + chromaScale * (r - yl) / (2.0f * (1.0f - kr)));
        }
}
