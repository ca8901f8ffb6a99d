// assets.cpp: parsing, checking and packing the source assets.
#include "content/builder/assets.h"

#include "sync/tracks.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

// The words of the track files, one per interpolation type.
struct InterpolationWord {
    InterpolationType type;
    const char* word;
};
const InterpolationWord interpolationWords[] = {
    {Step, "step"}, {Linear, "linear"}, {Smooth, "smooth"}, {Ramp, "ramp"}};

// Splits a line into blank-separated words (blanks as the C locale's
// isspace counts them), dropping a '#' comment.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::vector<std::string> words(const std::string& line) {
    const std::size_t body = std::min(line.find('#'), line.size());
    std::vector<std::string> out;
    for (std::size_t i = 0; i < body;) {
        if (isBlank(line[i])) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < body && !isBlank(line[j])) ++j;
        out.push_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

// The text's lines as std::getline gives them: split at '\n', a last line
// without one counted, no empty line after a final '\n'.
std::vector<std::string> textLines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

bool fail(std::string& error, const std::string& file, int line, const std::string& fault) {
    error = file + ":" + std::to_string(line) + ": " + fault;
    return false;
}

bool parseRow(const std::string& word, std::int32_t& row) {
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(word.c_str(), &end, 10);
    if (end == word.c_str() || *end != '\0' || errno == ERANGE) return false;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    row = std::int32_t(v);
    return true;
}

bool parseFiniteFloat(const std::string& word, float& value) {
    char* end = nullptr;
    float v = std::strtof(word.c_str(), &end);
    if (end == word.c_str() || *end != '\0' || !std::isfinite(v)) return false;
    value = v;
    return true;
}

void putLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}

std::uint32_t floatBits(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

bool isWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
}

bool isOperatorChar(char c) { return std::strchr("+-*/%<>=!&|^", c) != nullptr; }

// Whether a blank between two characters must stay so that the tokens on
// either side do not run together ("a - -b", "float x").
bool blankMatters(char before, char after) {
    return (isWordChar(before) && isWordChar(after)) ||
           (isOperatorChar(before) && isOperatorChar(after));
}

}  // namespace

const char* interpolationName(std::int32_t type) {
    for (const InterpolationWord& w : interpolationWords)
        if (w.type == type) return w.word;
    return nullptr;
}

std::int32_t interpolationType(const std::string& word) {
    for (const InterpolationWord& i : interpolationWords)
        if (word == i.word) return i.type;
    return -1;
}

std::string formatValue(float value) {
    if (!std::isfinite(value)) return value != value ? "nan" : value < 0 ? "-inf" : "inf";
    // The fewest significant digits that read back as the same float
    // (nine always do), then those digits written out without an exponent.
    char text[64];
    int digits = 1;
    for (; digits < 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*e", digits - 1, double(value));
        if (std::strtof(text, nullptr) == value) break;
    }
    std::snprintf(text, sizeof text, "%.*e", digits - 1, double(value));
    // text: [-]D[.DDD]e[+-]XX
    std::string mantissa, out;
    const char* p = text;
    if (*p == '-') out += *p++;
    for (; *p != 'e'; ++p)
        if (*p != '.') mantissa += *p;
    const int exponent = std::atoi(p + 1);
    while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();
    const int point = exponent + 1;  // digits before the decimal point
    if (mantissa == "0") return out + "0";
    if (point <= 0) return out + "0." + std::string(std::size_t(-point), '0') + mantissa;
    if (std::size_t(point) >= mantissa.size())
        return out + mantissa + std::string(std::size_t(point) - mantissa.size(), '0');
    return out + mantissa.substr(0, std::size_t(point)) + "." + mantissa.substr(std::size_t(point));
}

bool checkShowTrack(int track, const std::vector<SourceKey>& keys, const std::string& fileName,
                    std::string& error) {
    if (track != scene) return true;
    constexpr float endBelow = -2.0f;  // the end-of-show rule's bound
    // The track's value at row 0, evaluated as the show does, and each
    // key's value after it.
    std::vector<TrackKey> decoded;
    for (const SourceKey& k : keys) decoded.push_back(TrackKey{k.row, k.value, k.type});
    const SyncTrack track0{nullptr, decoded.data(), std::int32_t(decoded.size())};
    bool ends = !keys.empty() && float(getTrackValue(&track0, 0.0)) < endBelow;
    for (const SourceKey& k : keys) ends = ends || (k.row > 0 && k.value < endBelow);
    if (ends) return true;
    const int line = keys.empty() ? 1 : keys.back().line;
    return fail(error, fileName, line,
                "the scene track never goes below -2, so the show would never end (key a "
                "value below -2, such as \"-3 step\", where it should end)");
}

bool checkTweakNames(const std::vector<SourceTweak>& tweaks, const std::string& fileName,
                     std::string& error) {
    for (const SourceTweak& t : tweaks) {
        bool known = false;
        for (const char* name : tweakNames) known = known || t.name == name;
        if (!known) {
            std::string names;
            for (const char* name : tweakNames) names += std::string(names.empty() ? "" : " ") + name;
            return fail(error, fileName, t.line,
                        "the show reads no tweak named \"" + t.name + "\" (it reads " + names +
                            ")");
        }
    }
    return true;
}

bool parseTrackText(const std::string& text, const std::string& fileName,
                    std::vector<SourceKey>& keys, std::string& error) {
    keys.clear();
    int lineNumber = 0;
    for (const std::string& line : textLines(text)) {
        ++lineNumber;
        std::vector<std::string> w = words(line);
        if (w.empty()) continue;
        if (w.size() != 3)
            return fail(error, fileName, lineNumber,
                        "expected three fields: row, value, interpolation");
        SourceKey key;
        if (!parseRow(w[0], key.row))
            return fail(error, fileName, lineNumber, "row \"" + w[0] + "\" is not a whole number");
        if (!parseFiniteFloat(w[1], key.value))
            return fail(error, fileName, lineNumber,
                        "value \"" + w[1] + "\" is not a finite float");
        key.type = interpolationType(w[2]);
        key.line = lineNumber;
        if (key.type < 0)
            return fail(error, fileName, lineNumber,
                        "unknown interpolation \"" + w[2] +
                            "\" (expected step, linear, smooth or ramp)");
        if (!keys.empty() && key.row <= keys.back().row)
            return fail(error, fileName, lineNumber,
                        "rows not strictly increasing (" + std::to_string(key.row) +
                            " after " + std::to_string(keys.back().row) + ")");
        if (int(keys.size()) == maxTrackKeys)
            return fail(error, fileName, lineNumber,
                        "more than " + std::to_string(maxTrackKeys) + " keys");
        keys.push_back(key);
    }
    return true;
}

bool parseTweakText(const std::string& text, const std::string& fileName,
                    std::vector<SourceTweak>& tweaks, std::string& error) {
    tweaks.clear();
    int lineNumber = 0;
    for (const std::string& line : textLines(text)) {
        ++lineNumber;
        std::vector<std::string> w = words(line);
        if (w.empty()) continue;
        if (w.size() != 2)
            return fail(error, fileName, lineNumber, "expected two fields: name, value");
        SourceTweak tweak;
        tweak.name = w[0];
        tweak.line = lineNumber;
        if (int(tweak.name.size()) > tweakNameLength)
            return fail(error, fileName, lineNumber,
                        "tweak name \"" + tweak.name + "\" has " +
                            std::to_string(tweak.name.size()) + " characters (at most " +
                            std::to_string(tweakNameLength) + ")");
        // The blob ends a name at its first NUL: a NUL inside the name would
        // shift every later byte of the entry.
        if (tweak.name.find('\0') != std::string::npos)
            return fail(error, fileName, lineNumber, "tweak name contains a NUL byte");
        if (!parseFiniteFloat(w[1], tweak.value))
            return fail(error, fileName, lineNumber,
                        "value \"" + w[1] + "\" is not a finite float");
        if (int(tweaks.size()) == tweakCapacity)
            return fail(error, fileName, lineNumber,
                        "more than " + std::to_string(tweakCapacity) + " tweak entries");
        tweaks.push_back(tweak);
    }
    return true;
}

std::vector<std::uint8_t> packTrackKeys(const std::vector<SourceKey>& keys) {
    std::vector<std::uint8_t> out;
    putLe32(out, std::uint32_t(keys.size()));
    for (const SourceKey& k : keys) {
        putLe32(out, std::uint32_t(k.row));
        putLe32(out, floatBits(k.value));
        out.push_back(std::uint8_t(std::int8_t(k.type)));
    }
    return out;
}

std::vector<std::uint8_t> packTweaks(const std::vector<SourceTweak>& tweaks) {
    std::vector<std::uint8_t> out;
    for (const SourceTweak& t : tweaks) {
        out.push_back(0x01);
        out.insert(out.end(), t.name.begin(), t.name.end());
        out.push_back(0x00);
        putLe32(out, floatBits(t.value));
    }
    out.push_back(0x00);
    return out;
}

std::string minifyShader(const std::string& text) {
    // First drop comments, keeping line ends so preprocessor lines stay whole.
    std::string code;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "//") == 0) {
            while (i < text.size() && text[i] != '\n') ++i;
            if (i < text.size()) code += '\n';
        } else if (text.compare(i, 2, "/*") == 0) {
            std::size_t end = text.find("*/", i + 2);
            i = end == std::string::npos ? text.size() : end + 1;
            code += ' ';
        } else if (text[i] != '\r') {
            code += text[i];
        }
    }
    // Then fold blanks line by line.
    std::string out;
    std::istringstream in(code);
    std::string line;
    bool pendingSpace = false;
    while (std::getline(in, line)) {
        std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        if (line[first] == '#') {
            // A preprocessor line stands alone.
            if (!out.empty() && out.back() != '\n') out += '\n';
            std::size_t last = line.find_last_not_of(" \t");
            out += line.substr(first, last - first + 1);
            out += '\n';
            pendingSpace = false;
            continue;
        }
        for (std::size_t i = first; i < line.size(); ++i) {
            char c = line[i];
            if (c == ' ' || c == '\t') {
                pendingSpace = true;
                continue;
            }
            if (pendingSpace && !out.empty() && blankMatters(out.back(), c))
                out += ' ';
            pendingSpace = false;
            out += c;
        }
        pendingSpace = true;  // a line end separates words like a blank
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

std::string toCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 20);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') continue;
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}
