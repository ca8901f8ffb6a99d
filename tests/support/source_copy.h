// source_copy.h: a copy of the show's sources in a temporary folder, laid
// out as the repository (content/tracks, content/tweaks.txt,
// content/score, shaders/), for tests that edit what the studio reads.
// Removed when it goes out of scope.
#pragma once

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

struct SourceCopy {
    std::filesystem::path root;

    explicit SourceCopy(const std::filesystem::path& from) {
        namespace fs = std::filesystem;
        root = fs::temp_directory_path() /
               ("ostrel-sources-" + std::to_string(::getpid()) + "-" +
                std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(root / "content");
        fs::copy(from / "content/tracks", root / "content/tracks");
        fs::copy(from / "content/score", root / "content/score");
        fs::copy_file(from / "content/tweaks.txt", root / "content/tweaks.txt");
        fs::copy(from / "shaders", root / "shaders", fs::copy_options::recursive);
    }
    ~SourceCopy() { std::filesystem::remove_all(root); }
    SourceCopy(const SourceCopy&) = delete;
    SourceCopy& operator=(const SourceCopy&) = delete;

    std::string path(const std::string& relative) const { return (root / relative).string(); }
    std::string read(const std::string& relative) const {
        std::ifstream in(path(relative), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Written in place, as an editor that keeps the file does.
    void write(const std::string& relative, const std::string& text) const {
        std::ofstream(path(relative), std::ios::binary | std::ios::trunc) << text;
    }
};
