// paths.h: whether an output can be made, checked before the work.
//
// A program that writes a file checks at the start that the file can be
// created there: its folder exists and takes new files, and the name is
// not a folder. "-" (standard output) always can. And what is written
// takes its name only once complete. Any program, the build's own content
// step too, so nothing beyond the C++ library and POSIX.
#pragma once

#include <string>

// False with one line in *why ("-o nodir/s.png: cannot be written (the
// folder nodir does not exist)"); `what` names the option ("-o").
bool outputCreatable(const std::string& what, const std::string& path, std::string* why);

// For a folder that is written into: it exists and takes new files.
bool folderWritable(const std::string& what, const std::string& dir, std::string* why);

// A file written whole as `part` takes the name `path`: its data flushed to
// the disk, renamed, the rename flushed in its folder, so that `path` holds
// the old file or the new one, never a part. On failure `part` is removed,
// and *why says why.
bool replaceWith(const std::string& part, const std::string& path, std::string* why);
