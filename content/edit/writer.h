// writer.h: edits put back into the source files.
//
// Texts: rewriteTrackText and rewriteTweakText take a file's text as read
// and the keys (entries) it should now hold, each remembering the line it
// was read from (SourceKey::line, 0 for a new one). Every line whose key is
// unchanged stays byte for byte, comments, blank lines and line ends
// included; a changed key keeps its line and its columns, and only the
// fields that changed are written anew; a deleted key's line goes; a new
// key (or one moved past others) gets a line of its own, in row order, laid
// out as the key line before it (or after it), with that line's line end.
// Values are written by formatValue (content/builder/assets.h).
//
// Files: writeFiles saves several files as one: each new text is written
// to a temporary file beside its file (NAME.ostrel-save), flushed to disk
// and given the original's permissions; only when every one is written are
// they renamed over the originals, and the folders flushed. If a rename
// fails, the files already renamed get their old bytes back (written and
// renamed the same way) and the temporaries go. A file reached through a
// symbolic link is saved where the link points. Before anything is
// written, each file is checked: it must exist with a write bit in its mode
// (root included, for whom the kernel would allow the write anyway) and be
// writable by this process, in a folder that is writable. Every failure is
// one line naming the file and the reason, and leaves the originals as
// they were.
//
// A crash between two renames leaves some files new and the others old,
// with the new texts of the others still in their NAME.ostrel-save files:
// leftoverSaves finds them (the edit model reports them when it opens a
// tree, the content builder warns about them as files that are not
// tracks); renaming each over its file finishes that save, deleting it
// drops it. The next save of a file replaces its leftover.
//
// Platform note: POSIX (open, fsync, rename).
#pragma once

#include <string>
#include <vector>

#include "content/builder/assets.h"

std::string rewriteTrackText(const std::string& text, const std::vector<SourceKey>& keys);
std::string rewriteTweakText(const std::string& text, const std::vector<SourceTweak>& tweaks);

// The suffix of a save's temporary files.
inline constexpr const char* saveSuffix = ".ostrel-save";

struct FileWrite {
    std::string path;
    std::string bytes;
};

// The calls through which a save changes the file system; tests put in
// their own to fail a rename or stop before the renames.
struct WriteHooks {
    int (*rename)(const char* from, const char* to) = nullptr;  // null: ::rename
    // Called when every temporary file is written, before the first rename;
    // false stops there as a crash would (the temporaries stay).
    bool (*beforeRenames)() = nullptr;
};

// Writes every file or none. False with one line in *error.
bool writeFiles(const std::vector<FileWrite>& files, std::string* error,
                const WriteHooks& hooks = WriteHooks{});

// The leftover temporary files of unfinished saves among `paths`' files.
std::vector<std::string> leftoverSaves(const std::vector<std::string>& paths);
