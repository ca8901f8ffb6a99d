// sources.h: the show's source files, and watching them for saves.
//
// The studio reads what the content builder reads, where the builder reads
// it (sourceTree of content/builder/block.h): the 13 track files, the tweak
// file, the vertex and the four pass shaders, the noise compute shader, the
// scene's parts in the order the build joins them, and the score.
//
// The watcher asks inotify about the folders that hold them, not the files:
// an editor that saves by writing a new file and renaming it over the old
// one replaces the file (a watch on it would go quiet), and one that writes
// in place keeps it; both show up in the folder as an event with the file's
// name. Events are gathered until a file has been quiet for a moment (one
// save is often several writes, or a write and a rename), then handed out
// once per file. A folder that goes away (a checkout replacing it) is
// watched again as soon as it is back, and all of its files count as
// changed then. A watch follows a folder, not its path: each call compares
// the folder at each path with the one watched (device and inode), so a
// folder replaced without an event of its own (its parent moved away and
// copied back) is watched again too. When the kernel's event queue
// overflows, events were lost, those that end watches among them: every
// folder is watched anew and everything counts as changed.
//
// Platform note: Linux (inotify, from the C library).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "content/builder/block.h"

namespace studio {

enum class SourceKind { track, tweaks, vertex, pass, noise, scenePart, score };

struct SourceFile {
    std::string path;
    SourceKind kind;
    int index;  // the Track, the ShaderText entry, or the scene part
};

struct SourceTree {
    std::string root;
    ContentSources content;  // the builder's folders and files
    std::string score;
    std::vector<SourceFile> files;
};

// The sources under `root`, laid out as this repository.
SourceTree sourceTreeAt(const std::string& root);

// The folder part of a path ("a/b/c.txt" gives "a/b").
std::string folderOf(const std::string& path);
// The path from the tree's root, for short messages in the window.
std::string shortPath(const SourceTree& tree, const std::string& path);

struct FolderWatch {
    std::string folder;
    std::uint64_t device = 0, inode = 0;  // the folder watched, when it was watched
};

struct Watcher {
    int fd = -1;
    std::map<int, FolderWatch> watches;   // descriptor -> folder
    std::vector<std::string> folders;     // every folder wanted
    // A changed file's first and latest event (clock readings).
    std::map<std::string, double> firstEvent, lastEvent;
    bool everything = false;  // the event queue overflowed
};

// Watches the folders of every file of the tree. False, with one line in
// *error, when inotify cannot be had; folders missing now are watched once
// they appear.
bool openWatcher(Watcher& watcher, const SourceTree& tree, std::string* error);
void closeWatcher(Watcher& watcher);

// Reads the events so far without waiting (`now`: a clock reading in
// milliseconds). Returns the files of the tree that changed and have been
// quiet for `settle` milliseconds, and in *firstEvent when the first event
// of them came; `everything` is set when every file may have changed.
std::vector<std::string> takeChanges(Watcher& watcher, const SourceTree& tree, double now,
                                     double settle, bool& everything,
                                     double* firstEvent = nullptr);

}  // namespace studio
