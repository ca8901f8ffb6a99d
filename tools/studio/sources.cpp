// sources.cpp: the source files of a tree, and the inotify watcher.
#include "tools/studio/sources.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace studio {

namespace {

constexpr std::uint32_t watchMask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE |
                                    IN_CREATE | IN_MODIFY | IN_DELETE_SELF | IN_MOVE_SELF |
                                    IN_ONLYDIR;
// A file that keeps changing is handed out after this long all the same.
constexpr double longestHold = 400.0;

bool inTree(const SourceTree& tree, const std::string& path) {
    for (const SourceFile& f : tree.files)
        if (f.path == path) return true;
    return false;
}

// The folder at `path` now, by device and inode; false when there is none.
bool folderAt(const std::string& path, FolderWatch& at) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    at.folder = path;
    at.device = std::uint64_t(info.st_dev);
    at.inode = std::uint64_t(info.st_ino);
    return true;
}

const FolderWatch* watchOf(const Watcher& w, const std::string& folder) {
    for (const auto& entry : w.watches)
        if (entry.second.folder == folder) return &entry.second;
    return nullptr;
}

// Watches `folder` as it is at its path now, unless that is the folder
// watched already (and `anew` is not asked for); any other watch of the
// path goes. True when a new folder is watched: its files may all be new.
bool watchFolder(Watcher& w, const std::string& folder, bool anew) {
    FolderWatch now;
    const bool present = folderAt(folder, now);  // looked at before the watch is added
    const FolderWatch* watch = watchOf(w, folder);
    const bool same = watch && watch->device == now.device && watch->inode == now.inode;
    if (present && same && !anew) return false;
    const int wd = present ? inotify_add_watch(w.fd, folder.c_str(), watchMask) : -1;
    for (auto it = w.watches.begin(); it != w.watches.end();) {
        if (it->second.folder == folder && it->first != wd) {
            inotify_rm_watch(w.fd, it->first);  // refused for one the kernel has ended
            it = w.watches.erase(it);
        } else {
            ++it;
        }
    }
    if (wd < 0) return false;
    w.watches[wd] = now;
    return !same;
}

}  // namespace

SourceTree sourceTreeAt(const std::string& root) {
    SourceTree tree;
    tree.root = root;
    tree.content = sourceTree(root, std::string());
    tree.score = root + "/content/score/ostrel.score";
    for (int t = 0; t < trackCount; ++t)
        tree.files.push_back(SourceFile{tree.content.tracks + "/" + trackNames[t] + ".track",
                                        SourceKind::track, t});
    tree.files.push_back(SourceFile{tree.content.tweaks, SourceKind::tweaks, 0});
    for (const SmallShader& shader : smallShaders)
        tree.files.push_back(SourceFile{tree.content.shaders + "/" + shader.source,
                                        shader.entry == vertexShaderText ? SourceKind::vertex
                                                                         : SourceKind::pass,
                                        shader.entry});
    tree.files.push_back(
        SourceFile{tree.content.shaders + "/" + noiseShaderSource, SourceKind::noise, 0});
    for (int i = 0; i < scenePartCount; ++i)
        tree.files.push_back(
            SourceFile{tree.content.shaders + "/" + sceneParts[i], SourceKind::scenePart, i});
    tree.files.push_back(SourceFile{tree.score, SourceKind::score, 0});
    return tree;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string shortPath(const SourceTree& tree, const std::string& path) {
    const std::string prefix = tree.root + "/";
    return path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : path;
}

bool openWatcher(Watcher& w, const SourceTree& tree, std::string* error) {
    w = Watcher{};
    w.fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (w.fd < 0) {
        if (error) *error = std::string("watch: no inotify (") + std::strerror(errno) + ")";
        return false;
    }
    for (const SourceFile& f : tree.files) {
        const std::string folder = folderOf(f.path);
        if (std::find(w.folders.begin(), w.folders.end(), folder) != w.folders.end()) continue;
        w.folders.push_back(folder);
        watchFolder(w, folder, false);
    }
    return true;
}

void closeWatcher(Watcher& w) {
    if (w.fd >= 0) close(w.fd);
    w.fd = -1;
    w.watches.clear();
}

std::vector<std::string> takeChanges(Watcher& w, const SourceTree& tree, double now,
                                     double settle, bool& everything, double* firstEvent) {
    everything = false;
    std::vector<std::string> changed;
    if (w.fd < 0) return changed;

    alignas(inotify_event) char buffer[16384];
    bool overflow = false;
    for (;;) {
        const ssize_t n = read(w.fd, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t at = 0; at < n;) {
            const inotify_event* e = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + e->len);
            if (e->mask & IN_Q_OVERFLOW) overflow = w.everything = true;
            if (e->mask & IN_IGNORED) {
                w.watches.erase(e->wd);
                continue;
            }
            // A folder moved elsewhere is no longer the one wanted.
            if (e->mask & IN_MOVE_SELF) inotify_rm_watch(w.fd, e->wd);
            const auto folder = w.watches.find(e->wd);
            if (e->len == 0 || folder == w.watches.end()) continue;
            const std::string path = folder->second.folder + "/" + e->name;
            if (!inTree(tree, path)) continue;
            w.firstEvent.emplace(path, now);
            w.lastEvent[path] = now;
        }
    }

    // Folders that came back or were replaced: everything in them may be new.
    for (const std::string& folder : w.folders) {
        if (!watchFolder(w, folder, overflow)) continue;
        for (const SourceFile& f : tree.files)
            if (folderOf(f.path) == folder) {
                w.firstEvent.emplace(f.path, now);
                w.lastEvent[f.path] = now;
            }
    }

    for (auto it = w.firstEvent.begin(); it != w.firstEvent.end();) {
        const double last = w.lastEvent[it->first];
        if (now - last >= settle || now - it->second >= longestHold) {
            if (firstEvent && (changed.empty() || it->second < *firstEvent))
                *firstEvent = it->second;
            changed.push_back(it->first);
            w.lastEvent.erase(it->first);
            it = w.firstEvent.erase(it);
        } else {
            ++it;
        }
    }
    if (w.everything) {
        everything = true;
        w.everything = false;
    }
    return changed;
}

}  // namespace studio
