// writer.cpp: key lines rewritten in place, files saved all or nothing.
#include "content/edit/writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

// A text's lines, each with its line end ("\n", "\r\n", or none for a
// last line without one). Line n of the parsers is lines[n - 1].
std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

std::string lineEnd(const std::string& line) {
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) return "\r\n";
    if (!line.empty() && line.back() == '\n') return "\n";
    return "";
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Where the words of a line lie (before any '#'), and where its comment
// starts (npos when none).
struct Layout {
    std::vector<std::size_t> start, end;
    std::size_t comment = std::string::npos;
};

Layout layoutOf(const std::string& line) {
    Layout l;
    const std::size_t body = std::min(line.find('#'), line.size());
    for (std::size_t i = 0; i < body;) {
        if (blank(line[i])) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < body && !blank(line[j])) ++j;
        l.start.push_back(i);
        l.end.push_back(j);
        i = j;
    }
    if (body < line.size()) l.comment = body;
    return l;
}

// Appends `word` at column `column` of `out`: the gap before it is `gap`
// as it was when it holds a tab, else spaces up to the column (one at
// least). Unchanged words before it give back the line as it was.
void place(std::string& out, const std::string& gap, std::size_t column, const std::string& word) {
    if (gap.find('\t') != std::string::npos)
        out += gap;
    else
        out += std::string(column > out.size() ? column - out.size() : 1, ' ');
    out += word;
}

// The line with its words replaced by `words` (as many as it has), every
// word and the comment kept at their columns where they fit.
std::string rewriteLine(const std::string& line, const std::vector<std::string>& words) {
    const Layout l = layoutOf(line);
    std::string out = line.substr(0, l.start[0]) + words[0];
    for (std::size_t i = 1; i < l.start.size(); ++i)
        place(out, line.substr(l.end[i - 1], l.start[i] - l.end[i - 1]), l.start[i], words[i]);
    const std::size_t last = l.end.back();
    if (l.comment == std::string::npos) return out + line.substr(last);
    place(out, line.substr(last, l.comment - last), l.comment, line.substr(l.comment));
    return out;
}

// A new line of `words`, laid out as `model` (a line of as many words), with
// its line end; the shipped files' columns when there is no such line.
std::string newLine(const std::string* model, const std::vector<std::string>& words,
                    const std::string& end) {
    std::vector<std::size_t> columns;
    std::string out;
    if (model != nullptr) {
        const Layout l = layoutOf(*model);
        columns = l.start;
        out = model->substr(0, l.start[0]);
    } else {
        for (std::size_t i = 0; i < words.size(); ++i) columns.push_back(i * 7 - (i > 0));
    }
    out += words[0];
    for (std::size_t i = 1; i < words.size(); ++i) place(out, " ", columns[i], words[i]);
    return out + end;
}

std::string keyWord(std::int32_t row) { return std::to_string(row); }

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The words of a line for `now`, keeping the words as written where the
// key did not change there ("0.0" stays "0.0").
std::vector<std::string> keyWords(const std::string& line, const SourceKey* was,
                                  const SourceKey& now) {
    const Layout l = layoutOf(line);
    auto word = [&](std::size_t i) { return line.substr(l.start[i], l.end[i] - l.start[i]); };
    const char* type = interpolationName(now.type);
    return {was && was->row == now.row ? word(0) : keyWord(now.row),
            was && sameBits(was->value, now.value) ? word(1) : formatValue(now.value),
            was && was->type == now.type ? word(2) : std::string(type ? type : "step")};
}

// The longest run of `lines` (0: none) that increases, as flags.
std::vector<bool> increasingRun(const std::vector<int>& lines) {
    const std::size_t n = lines.size();
    // Most often every line is still in order.
    int last = 0;
    bool ordered = true;
    for (int line : lines)
        if (line > 0) {
            ordered = ordered && line > last;
            last = line;
        }
    if (ordered) {
        std::vector<bool> in(n);
        for (std::size_t i = 0; i < n; ++i) in[i] = lines[i] > 0;
        return in;
    }
    std::vector<int> length(n, 0), before(n, -1);
    int best = -1;
    for (std::size_t i = 0; i < n; ++i) {
        if (lines[i] <= 0) continue;
        length[i] = 1;
        for (std::size_t j = 0; j < i; ++j)
            if (lines[j] > 0 && lines[j] < lines[i] && length[j] + 1 > length[i]) {
                length[i] = length[j] + 1;
                before[i] = int(j);
            }
        if (best < 0 || length[i] > length[std::size_t(best)]) best = int(i);
    }
    std::vector<bool> in(n, false);
    for (int i = best; i >= 0; i = before[std::size_t(i)]) in[std::size_t(i)] = true;
    return in;
}

// The text with `entries` in place of what it held: `lineOf` gives each
// entry's line (0: new), `was` the entry read at a line (null: none),
// `wordsOf` the words of an entry on a line (or a new one), `ordered`
// whether the entries must stay in file order (keys: rows increase).
template <typename Entry, typename WordsOf>
std::string rewrite(const std::string& text, const std::vector<Entry>& entries,
                    const std::map<int, Entry>& was, WordsOf wordsOf) {
    std::vector<std::string> lines = splitLines(text);
    const std::string fileEnd = lines.empty() || lineEnd(lines[0]).empty() ? "\n" : lineEnd(lines[0]);

    // Entries that keep their lines: those whose lines still come in order.
    std::vector<int> at(entries.size(), 0);
    std::map<int, bool> claimed;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const int line = entries[i].line;
        if (line > 0 && was.count(line) && !claimed[line]) {
            at[i] = line;
            claimed[line] = true;
        }
    }
    const std::vector<bool> kept = increasingRun(at);

    // The lines to write after a line (0: before the first entry line).
    std::map<int, std::vector<std::string>> after;
    std::map<int, std::size_t> keep;  // line -> the entry that keeps it
    int firstEntryLine = was.empty() ? 0 : was.begin()->first;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (kept[i]) {
            keep[at[i]] = i;
            continue;
        }
        // After the nearest kept entry before it, else before the next one.
        int anchor = -1;
        for (std::size_t j = i; j-- > 0;)
            if (kept[j]) {
                anchor = at[j];
                break;
            }
        const std::string* model = nullptr;
        int next = -1;
        for (std::size_t j = i + 1; j < entries.size() && next < 0; ++j)
            if (kept[j]) next = at[j];
        if (anchor > 0)
            model = &lines[std::size_t(anchor - 1)];
        else if (next > 0)
            model = &lines[std::size_t(next - 1)];
        else if (firstEntryLine > 0)
            model = &lines[std::size_t(firstEntryLine - 1)];
        const std::string end = model ? (lineEnd(*model).empty() ? fileEnd : lineEnd(*model)) : fileEnd;
        const std::string line = newLine(model, wordsOf(nullptr, nullptr, entries[i]), end);
        if (anchor > 0)
            after[anchor].push_back(line);
        else if (next > 0)
            after[-next].push_back(line);  // before line `next`
        else if (firstEntryLine > 0)
            after[-firstEntryLine].push_back(line);
        else
            after[int(lines.size()) + 1].push_back(line);  // at the end
    }

    std::string out;
    auto emit = [&](const std::vector<std::string>& add) {
        for (const std::string& line : add) {
            if (!out.empty() && out.back() != '\n') out += fileEnd;
            out += line;
        }
    };
    for (std::size_t n = 1; n <= lines.size(); ++n) {
        const int line = int(n);
        if (after.count(-line)) emit(after[-line]);
        const std::string& text = lines[n - 1];
        auto read = was.find(line);
        if (read == was.end()) {
            out += text;
        } else if (keep.count(line)) {
            const std::vector<std::string> words =
                wordsOf(&text, &read->second, entries[keep[line]]);
            const Layout l = layoutOf(text);
            bool same = true;
            for (std::size_t w = 0; w < words.size(); ++w)
                same = same && text.compare(l.start[w], l.end[w] - l.start[w], words[w]) == 0;
            out += same ? text : rewriteLine(text, words);
        }  // else: the entry is gone, and its line with it
        if (after.count(line)) emit(after[line]);
    }
    if (after.count(int(lines.size()) + 1)) emit(after[int(lines.size()) + 1]);
    return out;
}

}  // namespace

std::string rewriteTrackText(const std::string& text, const std::vector<SourceKey>& keys) {
    std::vector<SourceKey> read;
    std::string error;
    std::map<int, SourceKey> was;
    if (parseTrackText(text, "", read, error))
        for (const SourceKey& k : read) was[k.line] = k;
    return rewrite(text, keys, was,
                   [](const std::string* line, const SourceKey* old, const SourceKey& now) {
                       if (line == nullptr) {
                           const char* type = interpolationName(now.type);
                           return std::vector<std::string>{keyWord(now.row), formatValue(now.value),
                                                           type ? type : "step"};
                       }
                       return keyWords(*line, old, now);
                   });
}

std::string rewriteTweakText(const std::string& text, const std::vector<SourceTweak>& tweaks) {
    std::vector<SourceTweak> read;
    std::string error;
    std::map<int, SourceTweak> was;
    if (parseTweakText(text, "", read, error))
        for (const SourceTweak& t : read) was[t.line] = t;
    // Tweaks need not be in any order, but the rewrite keeps the file's.
    return rewrite(text, tweaks, was,
                   [](const std::string* line, const SourceTweak* old, const SourceTweak& now) {
                       if (line == nullptr) return std::vector<std::string>{now.name, formatValue(now.value)};
                       const Layout l = layoutOf(*line);
                       auto word = [&](std::size_t i) {
                           return line->substr(l.start[i], l.end[i] - l.start[i]);
                       };
                       return std::vector<std::string>{
                           old->name == now.name ? word(0) : now.name,
                           sameBits(old->value, now.value) ? word(1) : formatValue(now.value)};
                   });
}

namespace {

bool fail(std::string* error, const std::string& line) {
    if (error) *error = line;
    return false;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Writes bytes into a new file at `path` with `mode`, flushed to disk.
bool writeFlushed(const std::string& path, const std::string& bytes, mode_t mode,
                  std::string* error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return fail(error, path + ": cannot create: " + std::strerror(errno));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int why = n < 0 ? errno : ENOSPC;
            ::close(fd);
            ::unlink(path.c_str());
            return fail(error, path + ": cannot write: " + std::strerror(why));
        }
        done += std::size_t(n);
    }
    if (::fchmod(fd, mode & 07777) != 0 || ::fsync(fd) != 0) {
        const int why = errno;
        ::close(fd);
        ::unlink(path.c_str());
        return fail(error, path + ": cannot write: " + std::strerror(why));
    }
    if (::close(fd) != 0) {
        const int why = errno;
        ::unlink(path.c_str());
        return fail(error, path + ": cannot write: " + std::strerror(why));
    }
    return true;
}

void flushFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool readAll(const std::string& path, std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    bytes.clear();
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

}  // namespace

bool writeFiles(const std::vector<FileWrite>& given, std::string* error, const WriteHooks& hooks) {
    int (*renameFile)(const char*, const char*) = hooks.rename ? hooks.rename : ::rename;
    // A file reached through a symbolic link is saved where the link
    // points: a rename over the link would replace the link itself.
    std::vector<FileWrite> files = given;
    for (FileWrite& f : files) {
        struct stat link;
        if (::lstat(f.path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
            if (char* target = ::realpath(f.path.c_str(), nullptr)) {
                f.path = target;
                std::free(target);
            }
    }
    // Every file checked first: the save writes all of them or none.
    std::vector<struct stat> modes(files.size());
    std::vector<std::string> old(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string& path = files[i].path;
        const std::string folder = folderOf(path);
        if (::stat(path.c_str(), &modes[i]) != 0)
            return fail(error, path + ": cannot save: " + std::strerror(errno));
        if (!S_ISREG(modes[i].st_mode)) return fail(error, path + ": cannot save: not a plain file");
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04o", unsigned(modes[i].st_mode & 07777));
        if ((modes[i].st_mode & 0222) == 0)
            return fail(error, path + ": cannot save: the file is read-only (mode " + mode + ")");
        if (::access(path.c_str(), W_OK) != 0)
            return fail(error, path + ": cannot save: " + std::strerror(errno));
        if (::access(folder.c_str(), W_OK | X_OK) != 0)
            return fail(error, path + ": cannot save: its folder " + folder + ": " +
                                   std::strerror(errno));
        if (!readAll(path, old[i]))
            return fail(error, path + ": cannot save: cannot read it: " + std::strerror(errno));
    }
    // The new texts beside the files, flushed.
    std::vector<std::string> temporary;
    auto dropTemporaries = [&](std::size_t from) {
        for (std::size_t i = from; i < temporary.size(); ++i) ::unlink(temporary[i].c_str());
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string tmp = files[i].path + saveSuffix;
        if (!writeFlushed(tmp, files[i].bytes, modes[i].st_mode, error)) {
            dropTemporaries(0);
            return false;
        }
        temporary.push_back(tmp);
        // The owner too, where this process may give it (root saving a
        // person's file); otherwise the file becomes this process's own.
        if (::chown(tmp.c_str(), modes[i].st_uid, modes[i].st_gid) != 0) {
        }
    }
    if (hooks.beforeRenames != nullptr && !hooks.beforeRenames())
        return fail(error, "stopped before the renames; the new texts are in the " +
                               std::string(saveSuffix) + " files");
    // The renames; a failed one puts back the files already renamed.
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (renameFile(temporary[i].c_str(), files[i].path.c_str()) == 0) continue;
        const std::string why = std::strerror(errno);
        std::string putBack;
        for (std::size_t j = 0; j < i; ++j) {
            std::string ignored;
            const std::string tmp = files[j].path + saveSuffix;
            if (!writeFlushed(tmp, old[j], modes[j].st_mode, &ignored) ||
                renameFile(tmp.c_str(), files[j].path.c_str()) != 0) {
                ::unlink(tmp.c_str());
                putBack += " " + files[j].path;
            }
        }
        dropTemporaries(i);
        for (std::size_t j = 0; j <= i; ++j) flushFolder(folderOf(files[j].path));
        return fail(error, files[i].path + ": cannot save: cannot rename the new text over it: " +
                               why +
                               (putBack.empty() ? "; nothing was changed"
                                                : "; could not put back:" + putBack));
    }
    for (const FileWrite& f : files) flushFolder(folderOf(f.path));
    return true;
}

std::vector<std::string> leftoverSaves(const std::vector<std::string>& paths) {
    std::vector<std::string> found;
    for (const std::string& path : paths) {
        struct stat s;
        if (::stat((path + saveSuffix).c_str(), &s) == 0) found.push_back(path + saveSuffix);
    }
    return found;
}
