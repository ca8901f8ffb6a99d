// journal.cpp: unsaved edits written after every step, read back at start.
#include "tools/studio/journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <sstream>

namespace studio {

namespace {

constexpr const char* journalName = ".ostrel-studio-journal";
constexpr const char* heading = "ostrel-studio journal 1\n";

std::uint64_t hashOf(const std::string& bytes) {
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    return h;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += std::size_t(n);
    }
    return true;
}

std::string relative(const std::string& root, const std::string& path) {
    return path.compare(0, root.size() + 1, root + "/") == 0 ? path.substr(root.size() + 1) : path;
}

bool sameKey(const SourceKey& a, const SourceKey& b) {
    return a.row == b.row && a.value == b.value && a.type == b.type;
}

// How many key edits make `from` into `to`: keys added or changed, and
// keys gone; a moved key is one of each and counts once.
int keyDifferences(const std::vector<SourceKey>& from, const std::vector<SourceKey>& to) {
    int changed = 0, gone = 0;
    for (const SourceKey& k : to) {
        bool same = false;
        for (const SourceKey& f : from) same = same || sameKey(f, k);
        changed += !same;
    }
    for (const SourceKey& f : from) {
        bool kept = false;
        for (const SourceKey& k : to) kept = kept || k.row == f.row;
        gone += !kept;
    }
    return std::max(changed, gone);
}

struct Entry {
    int file = -1;
    std::size_t baseLength = 0;
    std::uint64_t baseHash = 0;
    std::string text;
};

bool readJournal(const std::string& path, const EditModel& m, const std::string& root,
                 std::vector<Entry>& entries, std::string& why) {
    std::string bytes;
    if (!readFile(path, bytes)) {
        why = "cannot read it";
        return false;
    }
    if (bytes.compare(0, std::strlen(heading), heading) != 0) {
        why = "it is not a studio journal";
        return false;
    }
    std::size_t at = std::strlen(heading);
    while (at < bytes.size()) {
        const std::size_t end = bytes.find('\n', at);
        if (end == std::string::npos) break;
        std::istringstream line(bytes.substr(at, end - at));
        std::string word, name;
        Entry entry;
        std::size_t length = 0;
        line >> word >> name >> entry.baseLength >> std::hex >> entry.baseHash >> std::dec >> length;
        if (word != "file" || !line || end + 1 + length > bytes.size()) {
            why = "it is damaged";
            return false;
        }
        for (int f = 0; f < modelFileCount; ++f)
            if (relative(root, m.files[f].path) == name) entry.file = f;
        if (entry.file < 0) {
            why = name + " is not a track or the tweak file";
            return false;
        }
        entry.text = bytes.substr(end + 1, length);
        entries.push_back(std::move(entry));
        at = end + 1 + length;
    }
    return true;
}

}  // namespace

bool takeText(EditModel& m, int file, const std::string& text, int* differences,
              std::string* error) {
    const std::string& name = m.files[file].path;
    std::string why;
    int count = 0;
    bool ok = true;
    if (file == tweakFile) {
        std::vector<SourceTweak> tweaks;
        ok = parseTweakText(text, name, tweaks, why);
        for (std::size_t i = 0; ok && i < tweaks.size(); ++i) {
            bool same = false;
            for (const SourceTweak& t : m.tweaks)
                same = same || (t.name == tweaks[i].name && t.value == tweaks[i].value);
            if (same) continue;
            ok = setTweak(m, tweaks[i].name, tweaks[i].value, &why);
            ++count;
        }
    } else {
        std::vector<SourceKey> keys;
        ok = parseTrackText(text, name, keys, why);
        if (ok) count = keyDifferences(m.keys[file], keys);
        for (std::size_t i = 0; ok && i < keys.size(); ++i) {
            bool same = false;
            for (const SourceKey& k : m.keys[file]) same = same || sameKey(k, keys[i]);
            if (!same) ok = setKey(m, file, keys[i].row, keys[i].value, keys[i].type, &why);
        }
        std::vector<std::int32_t> gone;
        for (const SourceKey& k : m.keys[file]) {
            bool kept = false;
            for (const SourceKey& j : keys) kept = kept || j.row == k.row;
            if (!kept) gone.push_back(k.row);
        }
        if (ok && !gone.empty()) ok = deleteKeys(m, file, gone, &why);
    }
    if (differences) *differences = count;
    if (!ok && error) *error = why;
    return ok;
}

bool takeFileVersion(EditModel& m, int file, const std::string& bytes, const char* what,
                     std::string* error) {
    const std::string& path = m.files[file].path;
    beginStep(m, std::string(what) + " " + path.substr(path.find_last_of('/') + 1));
    if (!takeText(m, file, bytes, nullptr, error)) {
        cancelStep(m);
        return false;
    }
    endStep(m);
    m.files[file].bytes = bytes;
    return true;
}

DiskNews fileOnDisk(EditModel& m, int file, const std::string& bytes, std::string* error) {
    if (bytes == m.files[file].bytes) return DiskNews::same;
    if (fileChanged(m, file)) return DiskNews::conflict;
    return takeFileVersion(m, file, bytes, "reloaded", error) ? DiskNews::reloaded
                                                              : DiskNews::unreadable;
}

std::string journalPath(const std::string& root) { return root + "/" + journalName; }

bool writeJournal(const std::string& root, const EditModel& m, std::string* error) {
    std::string bytes = heading;
    int files = 0;
    for (int f = 0; f < modelFileCount; ++f) {
        if (!fileChanged(m, f)) continue;
        const std::string text = fileText(m, f);
        char line[160];
        std::snprintf(line, sizeof line, " %zu %016llx %zu\n", m.files[f].bytes.size(),
                      static_cast<unsigned long long>(hashOf(m.files[f].bytes)), text.size());
        bytes += "file " + relative(root, m.files[f].path) + line + text;
        ++files;
    }
    if (files == 0) return removeJournal(root, error);
    const std::string path = journalPath(root), temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    if (fd >= 0) ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (ok) {
        const int folder = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
        return true;
    }
    if (error) *error = path + ": cannot write the journal (" + std::strerror(errno) + ")";
    ::unlink(temporary.c_str());
    return false;
}

bool removeJournal(const std::string& root, std::string* error) {
    const std::string path = journalPath(root);
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
    if (error) *error = path + ": cannot remove the journal (" + std::strerror(errno) + ")";
    return false;
}

Recovery recoverJournal(const std::string& root, EditModel& m) {
    Recovery r;
    const std::string path = journalPath(root);
    if (::access(path.c_str(), F_OK) != 0) return r;
    r.found = true;
    std::vector<Entry> entries;
    std::string why;
    if (!readJournal(path, m, root, entries, why)) {
        r.line = journalName + std::string(": ") + why + "; kept as it is, nothing put back";
        return r;
    }
    r.files = int(entries.size());
    // Only edits made on the bytes the files hold now go back.
    for (const Entry& entry : entries) {
        const std::string& now = m.files[entry.file].bytes;
        if (now.size() != entry.baseLength || hashOf(now) != entry.baseHash) {
            r.line = journalName + std::string(": ") + relative(root, m.files[entry.file].path) +
                     " changed since the unsaved edits were made on it; the journal is kept, "
                     "nothing put back";
            return r;
        }
    }
    beginStep(m, "the journal's unsaved edits");
    for (const Entry& entry : entries) {
        std::string error;
        int differences = 0;
        if (!takeText(m, entry.file, entry.text, &differences, &error)) {
            cancelStep(m);
            r.line = journalName + std::string(": its edits do not apply (") + error +
                     "); the journal is kept, nothing put back";
            return r;
        }
        r.keys += differences;
    }
    endStep(m);
    r.applied = true;
    r.line = "found " + std::to_string(r.keys) + " unsaved edit" + (r.keys == 1 ? "" : "s") +
             " in " + std::to_string(r.files) + " file" + (r.files == 1 ? "" : "s") + " (" +
             journalName + ") and put them back, not saved";
    return r;
}

}  // namespace studio
