// png_header.h: a PNG file's header made to claim another size, its
// checksum mended, as a damaged frame on a disk would claim it.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::uint32_t pngCrc(const std::uint8_t* bytes, std::size_t count) {
    std::uint32_t crc = 0xffffffffu;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) crc = crc >> 1 ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// Rewrites the IHDR chunk of the PNG at `path` (the first, at byte 8) to
// claim width x height. False when the file is no PNG with its IHDR there.
inline bool claimPngSize(const std::string& path, std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> b;
    {
        std::ifstream in(path, std::ios::binary);
        b.assign(std::istreambuf_iterator<char>(in), {});
    }
    if (b.size() < 33 || std::string(b.begin() + 12, b.begin() + 16) != "IHDR") return false;
    for (int i = 0; i < 4; ++i) {
        b[16 + i] = std::uint8_t(width >> (24 - 8 * i));
        b[20 + i] = std::uint8_t(height >> (24 - 8 * i));
    }
    const std::uint32_t crc = pngCrc(&b[12], 17);  // the type and the 13 bytes of data
    for (int i = 0; i < 4; ++i) b[29 + i] = std::uint8_t(crc >> (24 - 8 * i));
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    return true;
}
