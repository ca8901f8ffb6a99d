// options.cpp: the shared strict option parser.
#include "tools/common/options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

std::string quote(const std::string& text) { return "\"" + text + "\""; }

std::string wholeRange(std::int64_t min, std::int64_t max) {
    if (max == std::numeric_limits<std::int64_t>::max())
        return "at least " + std::to_string(min);
    return std::to_string(min) + " to " + std::to_string(max);
}

std::string numberText(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// For a word that starts with a number and goes on: " (\"x\" after
// \"12\")". Empty when nothing usable starts it, or (for a whole number)
// when the whole word is a number with a fraction or an exponent.
std::string trailing(const std::string& text, std::ptrdiff_t taken, bool whole) {
    if (taken <= 0 || std::size_t(taken) >= text.size() || text[0] == ' ' || text[0] == '\t' ||
        text[0] == '+')
        return "";
    if (whole) {
        char* end = nullptr;
        std::strtod(text.c_str(), &end);
        if (*end == '\0') return "";
        taken = end - text.c_str();
    }
    return " (" + quote(text.substr(std::size_t(taken))) + " after " +
           quote(text.substr(0, std::size_t(taken))) + ")";
}

bool nonEmpty(const std::string& value, std::string* why) {
    if (!value.empty()) return true;
    if (why) *why = "the value is empty";
    return false;
}

// A word that names an option rather than giving a (negative) number.
bool looksLikeOption(const std::string& word) {
    if (word.size() < 2 || word[0] != '-') return false;
    const char c = word[1];
    return !((c >= '0' && c <= '9') || c == '.');
}

}  // namespace

bool parseWhole(const std::string& text, std::int64_t min, std::int64_t max, std::int64_t* value,
                std::string* why) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(begin, &end, 10);
    // strtoll skips leading blanks; a whole word has none.
    if (text.empty() || end == begin || *end != '\0' || text[0] == ' ' || text[0] == '\t' ||
        text[0] == '+') {
        if (why) *why = quote(text) + " is not a whole number" + trailing(text, end - begin, true);
        return false;
    }
    if (errno == ERANGE || v < min || v > max) {
        if (why) *why = quote(text) + " is out of range (" + wholeRange(min, max) + ")";
        return false;
    }
    *value = v;
    return true;
}

bool parseNumber(const std::string& text, double min, double max, bool minExclusive,
                 double* value, std::string* why) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const double v = std::strtod(begin, &end);
    if (text.empty() || end == begin || *end != '\0' || text[0] == ' ' || text[0] == '\t' ||
        text[0] == '+' || !std::isfinite(v)) {
        if (why) {
            const std::string after = trailing(text, end - begin, false);
            *why = quote(text) + (after.empty() ? " is not a finite number" : " is not a number" + after);
        }
        return false;
    }
    if (v > max || v < min || (minExclusive && v == min)) {
        if (why)
            *why = quote(text) + " is out of range (" + (minExclusive ? "above " : "") +
                   numberText(min) + (minExclusive ? " up to " : " to ") + numberText(max) + ")";
        return false;
    }
    *value = v;
    return true;
}

OptionParser::OptionParser(std::string program, std::string usage, std::string about)
    : program_(std::move(program)), usage_(std::move(usage)), about_(std::move(about)) {}

void OptionParser::flag(const char* name, bool* target, const char* help) {
    options_.push_back(Option{name, "", help, nullptr, target});
}

void OptionParser::integer(const char* name, const char* meta, std::int64_t min,
                           std::int64_t max, std::int64_t* target, const char* help) {
    custom(name, meta,
           [=](const std::string& v, std::string* why) {
               return parseWhole(v, min, max, target, why);
           },
           help);
}

void OptionParser::integer(const char* name, const char* meta, std::int64_t min,
                           std::int64_t max, int* target, const char* help) {
    if (min < std::numeric_limits<int>::min()) min = std::numeric_limits<int>::min();
    if (max > std::numeric_limits<int>::max()) max = std::numeric_limits<int>::max();
    custom(name, meta,
           [=](const std::string& v, std::string* why) {
               std::int64_t whole = 0;
               if (!parseWhole(v, min, max, &whole, why)) return false;
               *target = int(whole);
               return true;
           },
           help);
}

void OptionParser::number(const char* name, const char* meta, double min, double max,
                          bool minExclusive, double* target, const char* help) {
    custom(name, meta,
           [=](const std::string& v, std::string* why) {
               return parseNumber(v, min, max, minExclusive, target, why);
           },
           help);
}

void OptionParser::number(const char* name, const char* meta, double min, double max,
                          bool minExclusive, float* target, const char* help) {
    custom(name, meta,
           [=](const std::string& v, std::string* why) {
               double d = 0.0;
               if (!parseNumber(v, min, max, minExclusive, &d, why)) return false;
               *target = float(d);
               return true;
           },
           help);
}

void OptionParser::size(const char* name, int* width, int* height, const char* help) {
    size(name, largestSide, width, height, help);
}

void OptionParser::size(const char* name, int maxSide, int* width, int* height,
                        const char* help) {
    custom(name, "WxH",
           [=](const std::string& v, std::string* why) {
               const std::size_t x = v.find('x');
               std::int64_t w = 0, h = 0;
               if (x == std::string::npos || !parseWhole(v.substr(0, x), 1, maxSide, &w, nullptr) ||
                   !parseWhole(v.substr(x + 1), 1, maxSide, &h, nullptr)) {
                   if (why)
                       *why = quote(v) + " is not a size WxH with sides of 1 to " +
                              std::to_string(maxSide);
                   return false;
               }
               *width = int(w);
               *height = int(h);
               return true;
           },
           help);
}

void OptionParser::range(const char* name, const char* meta, std::int64_t min, std::int64_t max,
                         std::int64_t* first, std::int64_t* last, const char* help,
                         bool allowEqual) {
    custom(name, meta,
           [=](const std::string& v, std::string* why) {
               // The dash that separates: the first one after a leading digit.
               const std::size_t dash = v.find('-', 1);
               std::int64_t a = 0, b = 0;
               if (dash == std::string::npos || !parseWhole(v.substr(0, dash), min, max, &a, nullptr) ||
                   !parseWhole(v.substr(dash + 1), min, max, &b, nullptr) || a > b ||
                   (a == b && !allowEqual)) {
                   if (why)
                       *why = quote(v) + " is not a range A-B of whole numbers " +
                              wholeRange(min, max) + (allowEqual ? " with A <= B" : " with A < B");
                   return false;
               }
               *first = a;
               *last = b;
               return true;
           },
           help);
}

void OptionParser::list(const char* name, const char* meta, std::int64_t min, std::int64_t max,
                        std::vector<std::int64_t>* target, const char* help) {
    custom(name, meta,
           [=](const std::string& v, std::string* why) {
               std::vector<std::int64_t> items;
               std::size_t start = 0;
               for (;;) {
                   const std::size_t comma = v.find(',', start);
                   const std::string item = v.substr(start, comma - start);
                   std::int64_t value = 0;
                   std::string itemWhy;
                   if (!parseWhole(item, min, max, &value, &itemWhy)) {
                       if (why) *why = "in " + quote(v) + ": " + itemWhy;
                       return false;
                   }
                   items.push_back(value);
                   if (comma == std::string::npos) break;
                   start = comma + 1;
               }
               target->insert(target->end(), items.begin(), items.end());
               return true;
           },
           help);
}

void OptionParser::text(const char* name, const char* meta, std::string* target,
                        const char* help) {
    custom(name, meta,
           [=](const std::string& v, std::string* why) {
               if (!nonEmpty(v, why)) return false;
               *target = v;
               return true;
           },
           help);
}

void OptionParser::texts(const char* name, const char* meta, std::vector<std::string>* target,
                         const char* help) {
    custom(name, meta,
           [=](const std::string& v, std::string* why) {
               if (!nonEmpty(v, why)) return false;
               target->push_back(v);
               return true;
           },
           help);
}

void OptionParser::custom(const char* name, const char* meta,
                          std::function<bool(const std::string&, std::string*)> take,
                          const char* help) {
    options_.push_back(Option{name, meta, help, std::move(take), nullptr});
}

void OptionParser::positional(const char* meta, int min, int max,
                              std::vector<std::string>* target, const char* help) {
    positionalMeta_ = meta;
    positionalHelp_ = help;
    positionalMin_ = min;
    positionalMax_ = max;
    positional_ = target;
}

const OptionParser::Option* OptionParser::find(const std::string& name) const {
    for (const Option& o : options_)
        if (o.name == name) return &o;
    return nullptr;
}

int OptionParser::refuse(const std::string& message) const {
    std::fprintf(stderr, "%s: %s\n", program_.c_str(), message.c_str());
    return 2;
}

std::string OptionParser::help() const {
    std::string text = "usage: " + program_ + " " + usage_ + "\n";
    if (!about_.empty()) text += "\n" + about_ + "\n";
    std::vector<std::pair<std::string, std::string>> rows;
    if (positional_) rows.emplace_back(positionalMeta_, positionalHelp_);
    for (const Option& o : options_)
        rows.emplace_back(o.meta.empty() ? o.name : o.name + " " + o.meta, o.help);
    rows.emplace_back("--help", "print this help and exit");
    std::size_t width = 0;
    for (const auto& row : rows) width = row.first.size() > width ? row.first.size() : width;
    text += "\n";
    // A help text's further lines start under its first.
    const std::string indent = "\n" + std::string(width + 4, ' ');
    for (const auto& row : rows) {
        std::string help;
        for (std::size_t at = 0; at <= row.second.size();) {
            std::size_t line = row.second.find('\n', at);
            if (line == std::string::npos) line = row.second.size();
            std::size_t from = at;
            if (at > 0)
                while (from < line && row.second[from] == ' ') ++from;
            help += (at > 0 ? indent : "") + row.second.substr(from, line - from);
            at = line + 1;
        }
        text += "  " + row.first + std::string(width - row.first.size() + 2, ' ') + help + "\n";
    }
    return text;
}

int OptionParser::parse(int argc, char** argv) {
    std::vector<std::string> words;
    bool onlyPositional = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (onlyPositional || !looksLikeOption(word)) {
            words.push_back(word);
            continue;
        }
        if (word == "--") {
            onlyPositional = true;
            continue;
        }
        if (word == "--help" || word == "-h") {
            std::fputs(help().c_str(), stdout);
            return 0;
        }
        const std::size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        const Option* option = find(name);
        if (option == nullptr) return refuse("unknown option " + name + " (see --help)");
        if (option->flag) {
            if (equals != std::string::npos)
                return refuse("option " + name + " takes no value (given " +
                              quote(word.substr(equals + 1)) + ")");
            *option->flag = true;
            continue;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = word.substr(equals + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            return refuse("option " + name + " needs a value (" + option->meta + ")");
        }
        std::string why;
        if (!option->take(value, &why)) return refuse("option " + name + ": " + why);
    }
    if (positional_ == nullptr && !words.empty())
        return refuse("unexpected argument " + quote(words.front()) + " (see --help)");
    if (positional_) {
        if (int(words.size()) < positionalMin_)
            return refuse("missing " + positionalMeta_ + " (see --help)");
        if (int(words.size()) > positionalMax_)
            return refuse("unexpected argument " + quote(words[std::size_t(positionalMax_)]) +
                          " (see --help)");
        *positional_ = words;
    }
    return -1;
}
