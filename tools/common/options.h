// options.h: one strict command-line parser for every program of the project.
//
// A program lists its options once, each with where its value goes, the
// range it may take and a line of help; parseOptions then reads argv:
//   - "--name VALUE" and "--name=VALUE" both work; flags take no value;
//   - a number must be the whole word ("2s" is no number of milliseconds:
//     the refusal names the "s" after the "2"), inside its range, finite; a
//     size is WxH with two positive whole numbers; a range is A-B with
//     A <= B (or A < B); a list is numbers joined by commas;
//   - words that are not options (or come after "--") are positional
//     arguments, if the program takes any; a word starting with '-' and a
//     digit or '.' counts as a number, not an option;
//   - "--help" (or "-h") prints the usage and every option's help on stdout.
// A word that cannot be taken is refused with one line on stderr that names
// the program, the option and the value ("ostrel-sheet: --every: \"2s\" is
// not a whole number"), and the program exits with status 2.
//
// Limits: no bundled short flags ("-vq"); each option's value is one word.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The largest side of a frame, a window or a render size, in every program:
// 8192 pixels (the 7680 x 4320 of 8K video fits).
inline constexpr int largestSide = 8192;

class OptionParser {
public:
    // `usage` is the synopsis after the program's name, e.g.
    // "-o sheet.png [options]"; `about` a sentence or two on what it does.
    OptionParser(std::string program, std::string usage, std::string about);

    // A flag: set to true when given.
    void flag(const char* name, bool* target, const char* help);
    // Whole numbers in [min, max].
    void integer(const char* name, const char* meta, std::int64_t min, std::int64_t max,
                 std::int64_t* target, const char* help);
    void integer(const char* name, const char* meta, std::int64_t min, std::int64_t max,
                 int* target, const char* help);
    // Finite numbers in [min, max]; with minExclusive, in (min, max].
    void number(const char* name, const char* meta, double min, double max, bool minExclusive,
                double* target, const char* help);
    void number(const char* name, const char* meta, double min, double max, bool minExclusive,
                float* target, const char* help);
    // WxH, each side in [1, largestSide] (every program's rule), or in
    // [1, maxSide].
    void size(const char* name, int* width, int* height, const char* help);
    void size(const char* name, int maxSide, int* width, int* height, const char* help);
    // A-B, whole numbers in [min, max], A <= B (A < B without allowEqual).
    void range(const char* name, const char* meta, std::int64_t min, std::int64_t max,
               std::int64_t* first, std::int64_t* last, const char* help,
               bool allowEqual = true);
    // Whole numbers in [min, max] joined by commas; each use adds to the list.
    void list(const char* name, const char* meta, std::int64_t min, std::int64_t max,
              std::vector<std::int64_t>* target, const char* help);
    // Any non-empty word: `text` keeps the last one given, `texts` every one
    // in the order given.
    void text(const char* name, const char* meta, std::string* target, const char* help);
    void texts(const char* name, const char* meta, std::vector<std::string>* target,
               const char* help);
    // An option whose value some other code checks: `take` returns false
    // with the reason in *why ("is not a ...").
    void custom(const char* name, const char* meta,
                std::function<bool(const std::string& value, std::string* why)> take,
                const char* help);
    // Positional words, between min and max of them.
    void positional(const char* meta, int min, int max, std::vector<std::string>* target,
                    const char* help);

    // Reads argv. Returns -1 when the program goes on; otherwise the status
    // to exit with: 0 after --help (usage printed), 2 after a refusal (one
    // line printed on stderr).
    int parse(int argc, char** argv);

    // One line "PROGRAM: MESSAGE" on stderr and status 2, for refusals that
    // only the program can judge (two options that exclude each other).
    int refuse(const std::string& message) const;

    // The usage text that --help prints.
    std::string help() const;

private:
    struct Option {
        std::string name, meta, help;
        std::function<bool(const std::string&, std::string*)> take;  // null for a flag
        bool* flag;
    };
    const Option* find(const std::string& name) const;

    std::string program_, usage_, about_;
    std::vector<Option> options_;
    std::string positionalMeta_, positionalHelp_;
    int positionalMin_ = 0, positionalMax_ = 0;
    std::vector<std::string>* positional_ = nullptr;
};

// The strict conversions the parser uses, for programs that read numbers
// from elsewhere. Each returns false with the reason in *why.
bool parseWhole(const std::string& text, std::int64_t min, std::int64_t max, std::int64_t* value,
                std::string* why);
bool parseNumber(const std::string& text, double min, double max, bool minExclusive,
                 double* value, std::string* why);
