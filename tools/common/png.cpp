// png.cpp: PNG files through libpng, with its default compression.
#include "tools/common/png.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr int largestSide = 65535;

struct File {
    std::FILE* handle;
    ~File() {
        if (handle) std::fclose(handle);
    }
};

bool fail(std::string* error, const std::string& path, const std::string& why) {
    if (error) *error = "png: " + path + ": " + why;
    return false;
}

// libpng reports a fault by calling this, which must not return.
[[noreturn]] void onError(png_structp png, png_const_charp message) {
    auto* text = static_cast<std::string*>(png_get_error_ptr(png));
    if (text) *text = message;
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

}  // namespace

namespace png {

bool write(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb,
           std::string* error) {
    if (width <= 0 || height <= 0 || width > largestSide || height > largestSide ||
        rgb.size() != std::size_t(width) * std::size_t(height) * 3u)
        return fail(error, path, "the image is not " + std::to_string(width) + " x " +
                                     std::to_string(height) + " RGB pixels");
    File file{std::fopen(path.c_str(), "wb")};
    if (file.handle == nullptr) return fail(error, path, std::strerror(errno));

    std::string why;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &why, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return fail(error, path, "libpng has no memory");
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return fail(error, path, why.empty() ? "cannot write" : why);
    }
    png_init_io(png, file.handle);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, &rgb[std::size_t(y) * std::size_t(width) * 3u]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    // Data still buffered is written by fclose; a full disk shows there.
    std::FILE* handle = file.handle;
    file.handle = nullptr;
    if (std::fflush(handle) != 0 || std::ferror(handle)) {
        std::fclose(handle);
        return fail(error, path, std::strerror(errno));
    }
    if (std::fclose(handle) != 0) return fail(error, path, std::strerror(errno));
    return true;
}

bool read(const std::string& path, int& width, int& height, std::vector<std::uint8_t>& rgb,
          std::string* error, int expectWidth, int expectHeight) {
    width = height = 0;
    File file{std::fopen(path.c_str(), "rb")};
    if (file.handle == nullptr) return fail(error, path, std::strerror(errno));
    png_byte signature[8];
    if (std::fread(signature, 1, 8, file.handle) != 8 || png_sig_cmp(signature, 0, 8) != 0)
        return fail(error, path, "not a PNG file");

    std::string why;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &why, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return fail(error, path, "libpng has no memory");
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return fail(error, path, why.empty() ? "cannot read" : why);
    }
    png_init_io(png, file.handle);
    png_set_sig_bytes(png, 8);
    png_set_user_limits(png, largestSide, largestSide);  // what write allows
    png_read_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    width = int(w);
    height = int(h);
    if (expectWidth > 0 && expectHeight > 0 &&
        (w != png_uint_32(expectWidth) || h != png_uint_32(expectHeight))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return fail(error, path, "the image is " + std::to_string(w) + " x " + std::to_string(h) +
                                     ", not " + std::to_string(expectWidth) + " x " +
                                     std::to_string(expectHeight));
    }
    const int depth = png_get_bit_depth(png, info), type = png_get_color_type(png, info);
    if (depth != 8 || (type != PNG_COLOR_TYPE_RGB && type != PNG_COLOR_TYPE_RGBA &&
                       type != PNG_COLOR_TYPE_GRAY)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return fail(error, path, "not an 8-bit RGB, RGBA or grey image");
    }
    if (type == PNG_COLOR_TYPE_RGBA) png_set_strip_alpha(png);
    if (type == PNG_COLOR_TYPE_GRAY) png_set_gray_to_rgb(png);
    png_read_update_info(png, info);
    try {
        rgb.assign(std::size_t(w) * std::size_t(h) * 3u, 0);
    } catch (const std::bad_alloc&) {
        png_destroy_read_struct(&png, &info, nullptr);
        return fail(error, path, "no memory for " + std::to_string(w) + " x " +
                                     std::to_string(h) + " pixels");
    }
    for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, &rgb[std::size_t(y) * w * 3u], nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

}  // namespace png
