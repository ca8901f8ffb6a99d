// picture.cpp: drawing moments of the show, their frame files, the frames of
// a contact sheet, and the comparison of two pictures.
#include "tools/picture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "host/moment.h"
#include "sync/content.h"
#include "tools/common/checks.h"
#include "tools/common/png.h"
#include "tools/sheet_layout.h"

namespace picture {
namespace {

bool fail(std::string* error, const std::string& line) {
    if (error) *error = line;
    return false;
}

std::string sizeText(int width, int height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

const char* const commentHead = "ostrel-frames";

std::string describe(const Frames& frames) {
    if (frames.times.empty() || frames.dof < 0) return "";
    std::string text = std::string(commentHead) + " " + std::to_string(frames.width) + "x" +
                       std::to_string(frames.height) + " dof " + std::to_string(frames.dof) +
                       " times ";
    for (std::size_t i = 0; i < frames.times.size(); ++i)
        text += (i ? "," : "") + std::to_string(frames.times[i]);
    return text;
}

// The comment describe wrote; false for any other text.
bool parseDescription(const std::string& text, Frames& frames) {
    std::istringstream in(text);
    std::string head, size, dofWord, timesWord, times;
    char x = 0;
    int width = 0, height = 0, dof = -1;
    if (!(in >> head >> size >> dofWord >> dof >> timesWord >> times) || head != commentHead ||
        dofWord != "dof" || timesWord != "times" || (dof != 0 && dof != 1))
        return false;
    std::istringstream sizeIn(size);
    if (!(sizeIn >> width >> x >> height) || x != 'x' || width <= 0 || height <= 0) return false;
    std::vector<std::int64_t> list;
    std::istringstream timesIn(times);
    for (std::string item; std::getline(timesIn, item, ',');) {
        char* end = nullptr;
        const long long t = std::strtoll(item.c_str(), &end, 10);
        if (item.empty() || *end != '\0' || t < 0) return false;
        list.push_back(t);
    }
    frames.width = width;
    frames.height = height;
    frames.dof = dof;
    frames.times = list;
    return true;
}

// The stacked frames of `all` (w pixels wide) into frames.rgb.
bool split(const std::string& path, int w, int h, const std::vector<std::uint8_t>& all,
           Frames& frames, std::string* error) {
    if (w != frames.width || frames.height <= 0 || h % frames.height != 0)
        return fail(error, "picture: " + path + " (" + sizeText(w, h) + ") holds no frames of " +
                               sizeText(frames.width, frames.height));
    const std::size_t bytes = std::size_t(frames.width) * std::size_t(frames.height) * 3u;
    frames.rgb.clear();
    for (std::size_t at = 0; at < all.size(); at += bytes)
        frames.rgb.emplace_back(all.begin() + long(at), all.begin() + long(at + bytes));
    return true;
}

}  // namespace

bool defaultTimes(std::vector<std::int64_t>& times, std::string* error) {
    ShowTracks tracks;
    if (!loadShowTracks(ostrelContent, tracks, error)) return false;
    std::int32_t last = showLastFrame(tracks);
    if (last < 0) last = 3600000;  // a show that does not end: its first hour
    times.clear();
    for (std::int32_t t = 0; t <= last; t += 2000) times.push_back(t);
    return true;
}

bool draw(int width, int height, int dof, std::vector<std::int64_t>& times, Frames& frames,
          std::string* error) {
    MomentOptions options;
    options.width = width;
    options.height = height;
    options.dof = dof;
    static ShowMoment moment;
    if (times.empty() && !defaultTimes(times, error)) return false;
    if (!openMoment(moment, ostrelContent, options, error)) return false;
    frames.width = width;
    frames.height = height;
    frames.dof = ostrelContent.dofEnabled != 0 ? 1 : 0;
    frames.times = times;
    frames.rgb.clear();
    std::vector<float> rgba;
    for (std::int64_t time : times) {
        renderMoment(moment, std::int32_t(time), std::int32_t(time));
        readMoment(moment, rgba);
        std::vector<std::uint8_t> rgb(std::size_t(width) * std::size_t(height) * 3u);
        momentToRgb(rgba.data(), width, height, rgb.data());
        frames.rgb.push_back(std::move(rgb));
    }
    return true;
}

bool write(const std::string& path, const Frames& frames, std::string* error) {
    std::vector<std::uint8_t> all;
    for (const std::vector<std::uint8_t>& frame : frames.rgb)
        all.insert(all.end(), frame.begin(), frame.end());
    const std::string part = path + ".part";
    if (png::write(part, frames.width, frames.height * int(frames.rgb.size()), all, error,
                   describe(frames)))
        return replaceWith(part, path, error);
    std::remove(part.c_str());
    return false;
}

bool read(const std::string& path, int width, int height, Frames& frames, std::string* error) {
    int w = 0, h = 0;
    std::vector<std::uint8_t> all;
    std::string comment;
    if (!png::read(path, w, h, all, error, 0, 0, &comment)) return false;
    frames = Frames{};
    Frames described;
    if (parseDescription(comment, described) && described.width == width &&
        described.height == height)
        frames = described;
    frames.width = width;
    frames.height = height;
    return split(path, w, h, all, frames, error);
}

bool readDescribed(const std::string& path, Frames& frames, std::string* error) {
    int w = 0, h = 0;
    std::vector<std::uint8_t> all;
    std::string comment;
    if (!png::read(path, w, h, all, error, 0, 0, &comment)) return false;
    frames = Frames{};
    if (!parseDescription(comment, frames)) {
        if (error) error->clear();
        return false;
    }
    if (!split(path, w, h, all, frames, error)) return false;
    if (frames.rgb.size() != frames.times.size())
        return fail(error, "picture: " + path + " holds " + std::to_string(frames.rgb.size()) +
                               " frames and says " + std::to_string(frames.times.size()));
    return true;
}

bool fromSheet(const std::string& path, int width, int height, Frames& frames,
               std::string* error) {
    int w = 0, h = 0;
    std::vector<std::uint8_t> sheet;
    if (!png::read(path, w, h, sheet, error)) return false;
    const SheetLayout layout = sheetLayout(width);
    const int gap = layout.gap, labelHeight = layout.labelHeight;
    const int cellHeight = height + labelHeight + gap;
    if (w != width + 2 * gap || h < gap + cellHeight || (h - gap) % cellHeight != 0)
        return fail(error, "picture: " + path + " (" + sizeText(w, h) +
                               ") is no one-column contact sheet of frames of " +
                               sizeText(width, height));
    frames.width = width;
    frames.height = height;
    frames.rgb.clear();
    for (int top = gap; top + cellHeight <= h; top += cellHeight) {
        std::vector<std::uint8_t> frame;
        for (int y = top; y < top + height; ++y) {
            const auto row = sheet.begin() + long((std::size_t(y) * std::size_t(w) + gap) * 3u);
            frame.insert(frame.end(), row, row + long(width) * 3);
        }
        frames.rgb.push_back(std::move(frame));
    }
    return true;
}

Difference compare(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    Difference d = {0.0, 255.0, 255};
    if (a.size() != b.size() || a.empty() || a.size() % 3 != 0) return d;
    std::size_t within = 0, total = 0;
    int largest = 0;
    for (std::size_t i = 0; i < a.size(); i += 3) {
        int worst = 0;
        for (std::size_t c = 0; c < 3; ++c) {
            const int diff = std::abs(int(a[i + c]) - int(b[i + c]));
            worst = std::max(worst, diff);
            total += std::size_t(diff);
        }
        if (worst <= 2) ++within;
        largest = std::max(largest, worst);
    }
    d.within = double(within) / double(a.size() / 3);
    d.mean = double(total) / double(a.size());
    d.largest = largest;
    return d;
}

bool alike(const Difference& d) { return d.within >= 0.99 && d.mean <= 0.5; }

}  // namespace picture
