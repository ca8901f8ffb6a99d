// font.cpp: the glyphs and the drawing.
#include "tools/common/font.h"

#include <algorithm>

namespace font {

namespace {

// Space to '~', in code order.
const std::uint8_t glyphs[95][glyphHeight] = {
    {0, 0, 0, 0, 0}, {2, 2, 2, 0, 2}, {5, 5, 0, 0, 0}, {5, 7, 5, 7, 5}, {3, 6, 2, 3, 6},  //   ! " # $
    {5, 1, 2, 4, 5}, {2, 5, 2, 5, 3}, {2, 2, 0, 0, 0}, {1, 2, 2, 2, 1}, {4, 2, 2, 2, 4},  // % & ' ( )
    {0, 5, 2, 5, 0}, {0, 2, 7, 2, 0}, {0, 0, 0, 2, 4}, {0, 0, 7, 0, 0}, {0, 0, 0, 0, 2},  // * + , - .
    {1, 1, 2, 4, 4}, {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7},  // / 0 1 2 3
    {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 2, 2, 2}, {7, 5, 7, 5, 7},  // 4 5 6 7 8
    {7, 5, 7, 1, 7}, {0, 2, 0, 2, 0}, {0, 2, 0, 2, 4}, {1, 2, 4, 2, 1}, {0, 7, 0, 7, 0},  // 9 : ; < =
    {4, 2, 1, 2, 4}, {6, 1, 2, 0, 2}, {2, 5, 7, 4, 3}, {2, 5, 7, 5, 5}, {6, 5, 6, 5, 6},  // > ? @ A B
    {3, 4, 4, 4, 3}, {6, 5, 5, 5, 6}, {7, 4, 6, 4, 7}, {7, 4, 6, 4, 4}, {3, 4, 5, 5, 3},  // C D E F G
    {5, 5, 7, 5, 5}, {7, 2, 2, 2, 7}, {1, 1, 1, 5, 2}, {5, 5, 6, 5, 5}, {4, 4, 4, 4, 7},  // H I J K L
    {5, 7, 7, 5, 5}, {6, 5, 5, 5, 5}, {2, 5, 5, 5, 2}, {6, 5, 6, 4, 4}, {2, 5, 5, 6, 3},  // M N O P Q
    {6, 5, 6, 5, 5}, {3, 4, 2, 1, 6}, {7, 2, 2, 2, 2}, {5, 5, 5, 5, 7}, {5, 5, 5, 5, 2},  // R S T U V
    {5, 5, 7, 7, 5}, {5, 5, 2, 5, 5}, {5, 5, 2, 2, 2}, {7, 1, 2, 4, 7}, {6, 4, 4, 4, 6},  // W X Y Z [
    {4, 4, 2, 1, 1}, {3, 1, 1, 1, 3}, {2, 5, 0, 0, 0}, {0, 0, 0, 0, 7}, {4, 2, 0, 0, 0},  // \ ] ^ _ `
    {0, 3, 5, 5, 3}, {4, 6, 5, 5, 6}, {0, 3, 4, 4, 3}, {1, 3, 5, 5, 3}, {0, 2, 7, 4, 3},  // a b c d e
    {1, 2, 7, 2, 2}, {0, 3, 5, 3, 6}, {4, 6, 5, 5, 5}, {2, 0, 2, 2, 2}, {1, 0, 1, 5, 2},  // f g h i j
    {4, 5, 6, 6, 5}, {6, 2, 2, 2, 7}, {0, 6, 7, 5, 5}, {0, 6, 5, 5, 5}, {0, 2, 5, 5, 2},  // k l m n o
    {0, 6, 5, 6, 4}, {0, 3, 5, 3, 1}, {0, 5, 6, 4, 4}, {0, 3, 4, 1, 6}, {2, 7, 2, 2, 1},  // p q r s t
    {0, 5, 5, 5, 3}, {0, 5, 5, 5, 2}, {0, 5, 5, 7, 5}, {0, 5, 2, 2, 5}, {0, 5, 5, 3, 6},  // u v w x y
    {0, 7, 2, 4, 7}, {3, 2, 6, 2, 3}, {2, 2, 2, 2, 2}, {6, 2, 3, 2, 6}, {0, 3, 6, 0, 0},  // z { | } ~
};

}  // namespace

const std::uint8_t* glyph(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u >= 32 && u <= 126 ? glyphs[u - 32] : nullptr;
}

void fill(Pixels& p, int x, int y, int width, int height, const std::uint8_t* colour) {
    const int x0 = std::max(0, x), x1 = std::min(p.width, x + width);
    const int y0 = std::max(0, y), y1 = std::min(p.height, y + height);
    for (int row = y0; row < y1; ++row)
        for (int col = x0; col < x1; ++col)
            std::copy_n(colour, p.channels,
                        p.data + (std::size_t(row) * std::size_t(p.width) + std::size_t(col)) *
                                     std::size_t(p.channels));
}

int text(Pixels& p, int x, int y, const std::string& s, int scale, const std::uint8_t* colour) {
    for (char c : s) {
        if (const std::uint8_t* rows = glyph(c))
            for (int row = 0; row < glyphHeight; ++row)
                for (int col = 0; col < glyphWidth; ++col)
                    if (rows[row] & (4 >> col))
                        fill(p, x + col * scale, y + row * scale, scale, scale, colour);
        x += advance * scale;
    }
    return x;
}

int textWidth(const std::string& s, int scale) {
    return s.empty() ? 0 : (int(s.size()) * advance - 1) * scale;
}

}  // namespace font
