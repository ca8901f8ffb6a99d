// track.cpp: evaluating a sync track at a fractional row.
//
// The segment is found with a binary search on the truncated row; the blend
// inside it uses the fractional row. The order of the operations and the
// precision of each one are fixed, so that every build computes the same
// float for the same row: t in double from the fractional row, the value
// difference d subtracted in single precision and then widened, everything
// after d in double. (The build turns off floating-point contraction for
// this library so that no fused multiply-add changes a rounding.)
//
// Evaluation keeps no state and allocates nothing; it is called 13 times a
// frame.
#include <cstdint>

#include "sync/sync.h"

namespace {

// The row truncated toward zero, for the search. Rows the show passes are
// never negative and far inside the i32 range; anything else is clamped so
// that the conversion is always defined (NaN searches at row 0).
std::int32_t truncateRow(double row) {
    if (!(row == row)) return 0;
    if (row >= 2147483647.0) return INT32_MAX;
    if (row <= -2147483648.0) return INT32_MIN;
    return std::int32_t(row);
}

}  // namespace

std::int32_t findKey(const SyncTrack* track, std::int32_t row) {
    if (track == nullptr || track->keys == nullptr) return -1;
    std::int32_t lo = 0, hi = track->keyCount;
    if (hi <= 0) return -1;
    while (lo < hi) {
        std::int32_t mid = lo + (hi - lo) / 2;
        std::int32_t at = track->keys[mid].row;
        if (at < row)
            lo = mid + 1;
        else if (at > row)
            hi = mid;
        else
            return mid;
    }
    return -lo - 1;
}

double getTrackValue(const SyncTrack* track, double row) {
    if (track == nullptr || track->keys == nullptr || track->keyCount <= 0) return 0.0;
    const TrackKey* keys = track->keys;
    const std::int32_t count = track->keyCount;

    std::int32_t i = findKey(track, truncateRow(row));
    if (i < 0) i = -i - 2;  // the last key below the row, or -1
    if (i < 0) return keys[0].value;
    if (i > count - 2) return keys[count - 1].value;

    const TrackKey& a = keys[i];
    const TrackKey& b = keys[i + 1];
    if (a.type == Step) return a.value;
    // The row difference is formed as an integer (64 bits, so that keys far
    // apart cannot overflow it) and then converted.
    const double t =
        (row - double(a.row)) / double(std::int64_t(b.row) - std::int64_t(a.row));
    const double d = double(b.value - a.value);
    switch (a.type) {
        case Linear:
            return t * d + double(a.value);
        case Smooth:
            return ((3.0 - (t + t)) * (t * t)) * d + double(a.value);
        case Ramp:
            return d * (t * t) + double(a.value);
        default:
            return 0.0;
    }
}
