// paths.cpp: output files and folders checked against the file system.
#include "tools/common/paths.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

// Empty when `folder` exists and takes new files, or what is wrong.
std::string folderFault(const std::filesystem::path& folder) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec))
        return "the folder " + folder.string() + " does not exist";
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return "the folder " + folder.string() + " takes no new file";
    return "";
}

}  // namespace

bool outputCreatable(const std::string& what, const std::string& path, std::string* why) {
    if (path == "-") return true;
    const std::filesystem::path file(path);
    std::error_code ec;
    std::string fault = folderFault(file.has_parent_path() ? file.parent_path() : ".");
    if (fault.empty() && std::filesystem::is_directory(file, ec)) fault = path + " is a folder";
    if (fault.empty()) return true;
    if (why) *why = (what.empty() ? "" : what + " ") + path + ": cannot be written (" + fault + ")";
    return false;
}

bool folderWritable(const std::string& what, const std::string& dir, std::string* why) {
    const std::string fault = folderFault(dir);
    if (fault.empty()) return true;
    if (why) *why = what + " " + dir + ": cannot write into it (" + fault + ")";
    return false;
}

bool replaceWith(const std::string& part, const std::string& path, std::string* why) {
    const auto flush = [](const std::string& name, int flags) {
        const int fd = open(name.c_str(), flags | O_CLOEXEC);
        if (fd < 0) return errno;
        const int failure = fsync(fd) == 0 ? 0 : errno;
        close(fd);
        return failure;
    };
    int failure = flush(part, O_RDONLY);
    if (failure == 0 && std::rename(part.c_str(), path.c_str()) != 0) failure = errno;
    if (failure != 0) {
        std::remove(part.c_str());
        if (why) *why = "cannot write " + path + ": " + std::strerror(failure);
        return false;
    }
    const std::filesystem::path file(path);
    flush(file.has_parent_path() ? file.parent_path().string() : ".", O_RDONLY | O_DIRECTORY);
    return true;
}
