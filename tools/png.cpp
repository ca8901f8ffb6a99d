// png.cpp: the PNG writer of png.h.
#include "tools/png.h"

#include <algorithm>
#include <cstdio>

namespace png {
namespace {

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(std::uint8_t(v >> 24));
    out.push_back(std::uint8_t(v >> 16));
    out.push_back(std::uint8_t(v >> 8));
    out.push_back(std::uint8_t(v));
}

// Appends a chunk: length, type, data, CRC of type and data.
void chunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data) {
    put32(out, std::uint32_t(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32(out, crc32(&out[start], out.size() - start));
}

}  // namespace

std::uint32_t crc32(const std::uint8_t* bytes, std::size_t count, std::uint32_t crc) {
    static std::uint32_t table[256];
    static bool made = false;
    if (!made) {
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        made = true;
    }
    crc = ~crc;
    for (std::size_t i = 0; i < count; ++i) crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::uint32_t adler32(const std::uint8_t* bytes, std::size_t count, std::uint32_t adler) {
    std::uint32_t a = adler & 0xFFFF, b = adler >> 16;
    for (std::size_t i = 0; i < count; ++i) {
        a = (a + bytes[i]) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

std::vector<std::uint8_t> encode(int width, int height, const std::vector<std::uint8_t>& rgb) {
    std::vector<std::uint8_t> out;
    if (width <= 0 || height <= 0 ||
        rgb.size() != std::size_t(width) * std::size_t(height) * 3u)
        return out;
    const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out.assign(signature, signature + 8);

    std::vector<std::uint8_t> header;
    put32(header, std::uint32_t(width));
    put32(header, std::uint32_t(height));
    header.push_back(8);  // bits per channel
    header.push_back(2);  // colour type: RGB
    header.push_back(0);  // deflate
    header.push_back(0);  // adaptive filtering
    header.push_back(0);  // no interlace
    chunk(out, "IHDR", header);

    // The filtered rows: a 0 (no filter) before each row.
    const std::size_t rowBytes = std::size_t(width) * 3u;
    std::vector<std::uint8_t> raw;
    raw.reserve((rowBytes + 1) * std::size_t(height));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rgb.begin() + std::ptrdiff_t(rowBytes * std::size_t(y)),
                   rgb.begin() + std::ptrdiff_t(rowBytes * std::size_t(y + 1)));
    }

    // zlib stream: header 0x78 0x01, stored blocks, Adler-32.
    std::vector<std::uint8_t> z = {0x78, 0x01};
    std::size_t at = 0;
    do {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        const bool last = at + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(std::uint8_t(n));
        z.push_back(std::uint8_t(n >> 8));
        z.push_back(std::uint8_t(~n));
        z.push_back(std::uint8_t(~n >> 8));
        z.insert(z.end(), raw.begin() + std::ptrdiff_t(at), raw.begin() + std::ptrdiff_t(at + n));
        at += n;
    } while (at < raw.size());
    put32(z, adler32(raw.data(), raw.size()));
    chunk(out, "IDAT", z);
    chunk(out, "IEND", {});
    return out;
}

bool write(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb,
           std::string* error) {
    std::vector<std::uint8_t> bytes = encode(width, height, rgb);
    if (bytes.empty()) {
        if (error) *error = "png: no image of " + std::to_string(width) + " x " +
                            std::to_string(height) + " pixels to write";
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok && error) *error = "png: cannot write " + path;
    return ok;
}

}  // namespace png
