// sheet_layout.h: where ostrel-sheet puts each frame of a contact sheet, for
// the sheet itself and for reading its frames back (tools/picture.h).
//
// A gap of `gap` pixels lies around and between the cells; each cell is the
// frame with its label band beneath: the show time in the 3 x 5 font, each
// font pixel `scale` x `scale` (2 from a frame width of 160), with 3 pixels
// above and below the text.
#pragma once

struct SheetLayout {
    int gap;
    int scale;
    int labelHeight;
};

inline SheetLayout sheetLayout(int frameWidth) {
    const int scale = frameWidth >= 160 ? 2 : 1;
    return {2, scale, 5 * scale + 6};
}
