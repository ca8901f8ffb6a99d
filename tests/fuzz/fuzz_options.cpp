// fuzz_options.cpp: the command-line parser every program uses, with one
// option of each kind and positional words. The input is the argument
// words, separated by NUL bytes. The parser's one line on stderr (or the
// help on stdout) goes to /dev/null here.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/fuzz/harnesses.h"
#include "tools/common/options.h"

int fuzzOptions(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words = {"ostrel-fuzz"};
    std::string word;
    for (std::size_t i = 0; i < size && words.size() < 64; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word += char(data[i]);
        }
    }
    if (!word.empty() || (size && data[size - 1] == 0)) words.push_back(word);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    bool flag = false;
    std::int64_t whole = 0, first = 0, last = 0;
    int small = 0, width = 0, height = 0;
    double number = 0.0;
    float single = 0.0f;
    std::vector<std::int64_t> list;
    std::string text;
    std::vector<std::string> texts, positional;
    OptionParser parser("ostrel-fuzz", "[options] [FILE...]", "Fuzzes the option parser.");
    parser.flag("verbose", &flag, "a flag");
    parser.integer("time", "MS", -1000, 1000000, &whole, "a whole number");
    parser.integer("frames", "N", 0, 100, &small, "a small whole number");
    parser.number("scale", "S", 0.0, 4.0, true, &number, "a number above 0");
    parser.number("level", "L", -1.0, 1.0, false, &single, "a single-precision number");
    parser.size("size", 8192, &width, &height, "WxH");
    parser.range("rows", "A-B", 0, 100000, &first, &last, "a range");
    parser.list("times", "MS,...", 0, 1000000, &list, "a list");
    parser.text("out", "FILE", &text, "a word");
    parser.texts("scene", "FILE", &texts, "words");
    parser.custom("dof", "0|1", [](const std::string& v, std::string* why) {
        if (v == "0" || v == "1") return true;
        *why = "is not 0 or 1";
        return false;
    }, "a custom check");
    parser.positional("FILE", 0, 3, &positional, "files");

    // Quiet: the parser's lines go to /dev/null, put back afterwards.
    std::fflush(stdout);
    const int out = dup(1), err = dup(2), null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    const int status = parser.parse(int(words.size()), argv.data());
    std::fflush(stdout);
    dup2(out, 1);
    dup2(err, 2);
    close(out);
    close(err);
    close(null);

    fuzzCheck(status == -1 || status == 0 || status == 2, "the status is -1, 0 or 2");
    if (status == -1) {
        fuzzCheck(positional.size() <= 3, "no more positional words than allowed");
        fuzzCheck(small >= 0 && small <= 100 && whole >= -1000 && whole <= 1000000,
                  "whole numbers in range");
        fuzzCheck(number >= 0.0 && number <= 4.0 && single >= -1.0f && single <= 1.0f,
                  "numbers in range");
        fuzzCheck(first <= last, "a range in order");
        fuzzCheck((width == 0) == (height == 0) && width >= 0 && width <= 8192,
                  "a size within its sides");
    }
    return 0;
}
