// manifest.cpp: parts, the manifest's text, records and resume rules.
#include "tools/farm/manifest.h"

#include <cmath>
#include <cstdio>
#include <sstream>

#include "tools/common/options.h"
#include "tools/common/progress.h"

namespace {

const char* const stateNames[] = {"pending", "running", "done", "failed"};

std::string stateName(PartState s) { return stateNames[int(s)]; }

bool stateOf(const std::string& word, PartState* s) {
    for (int i = 0; i < 4; ++i)
        if (word == stateNames[i]) {
            *s = PartState(i);
            return true;
        }
    return false;
}

bool whole(const std::string& text, std::int64_t* value) {
    std::string ignored;
    return parseWhole(text, -1, INT64_C(1) << 50, value, &ignored);
}

bool range(const std::string& text, std::int64_t* a, std::int64_t* b) {
    const std::size_t dash = text.find('-', 1);
    return dash != std::string::npos && whole(text.substr(0, dash), a) &&
           whole(text.substr(dash + 1), b) && *a <= *b;
}

// The value after "KEY: " on the line that starts with it.
bool planValue(const std::string& text, const char* key, std::string* value) {
    const std::string head = std::string(key) + ": ";
    std::size_t at = text.rfind("\n" + head);
    if (at != std::string::npos) {
        ++at;
    } else if (text.compare(0, head.size(), head) == 0) {
        at = 0;
    } else {
        return false;
    }
    const std::size_t end = text.find('\n', at);
    *value = text.substr(at + head.size(),
                         end == std::string::npos ? std::string::npos : end - at - head.size());
    return true;
}

}  // namespace

std::vector<FarmPart> planParts(std::int64_t first, std::int64_t last, std::int64_t perPart) {
    std::vector<FarmPart> parts;
    if (perPart < 1) perPart = 1;
    for (std::int64_t a = first; a <= last; a += perPart) {
        FarmPart p;
        p.index = int(parts.size());
        p.first = a;
        p.last = a + perPart - 1 < last ? a + perPart - 1 : last;
        parts.push_back(p);
    }
    return parts;
}

std::int64_t framesPerPart(std::int64_t first, std::int64_t last, std::int64_t parts) {
    const std::int64_t count = last - first + 1;
    if (parts < 1) parts = 1;
    return (count + parts - 1) / parts;
}

std::int64_t alignedPerPart(std::int64_t perPart, int fps) {
    std::int64_t a = fps, b = 1000;
    while (b != 0) {
        const std::int64_t r = a % b;
        a = b;
        b = r;
    }
    const std::int64_t quantum = fps / a;
    if (perPart < 1) perPart = 1;
    return (perPart + quantum - 1) / quantum * quantum;
}

bool parseCapturePlan(const std::string& text, CapturePlan& plan, std::string* why) {
    std::string first, last, sound;
    std::int64_t a = 0, b = 0;
    if (!planValue(text, "first frame", &first) || !planValue(text, "last frame", &last) ||
        !planValue(text, "sound samples", &sound) || !whole(first, &plan.first) ||
        !whole(last, &plan.last)) {
        *why = "ostrel-capture --plan did not say which frames it would capture";
        return false;
    }
    const std::size_t to = sound.find(" to ");
    if (to == std::string::npos || !whole(sound.substr(0, to), &a) ||
        !whole(sound.substr(to + 4), &b)) {
        *why = "ostrel-capture --plan did not say which sound samples it would write";
        return false;
    }
    plan.soundBegin = a;
    plan.soundEnd = b;
    return true;
}

std::string manifestText(const Manifest& m) {
    const FarmSettings& s = m.settings;
    std::ostringstream t;
    t << "ostrel-farm manifest 1\n"
      << "output " << m.output << "\ncapture " << m.capture << "\nscheduler " << m.scheduler
      << "\nsize " << s.width << "x" << s.height << "\nfps " << s.fps << "\nscale " << s.scale
      << "\nquality " << s.quality << "\nframes " << s.first << "-" << s.last
      << "\nframes-per-part " << s.perPart << "\nround " << m.round << "\n";
    for (const FarmPart& p : m.parts)
        t << "part " << p.index << " " << p.first << "-" << p.last << " " << stateName(p.state)
          << " tries " << p.tries << " round " << p.round << " job "
          << (p.job.empty() ? "-" : p.job) << " bytes " << p.bytes << "\n";
    return t.str();
}

bool parseManifest(const std::string& text, Manifest& m, std::string* why) {
    m = Manifest{};
    std::istringstream in(text);
    std::string line;
    int number = 0;
    bool header = false, frames = false;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        std::int64_t a = 0, b = 0;
        bool ok = true;
        if (!header) {
            ok = line == "ostrel-farm manifest 1";
            header = ok;
        } else if (key == "output") {
            m.output = value;
        } else if (key == "capture") {
            m.capture = value;
        } else if (key == "scheduler") {
            m.scheduler = value;
        } else if (key == "size") {
            const std::size_t x = value.find('x');
            ok = x != std::string::npos && whole(value.substr(0, x), &a) &&
                 whole(value.substr(x + 1), &b) && a > 0 && b > 0;
            m.settings.width = int(a);
            m.settings.height = int(b);
        } else if (key == "fps" || key == "quality" || key == "round" ||
                   key == "frames-per-part") {
            ok = whole(value, &a) && a >= 0;
            if (key == "fps") m.settings.fps = int(a);
            if (key == "quality") m.settings.quality = int(a);
            if (key == "round") m.round = int(a);
            if (key == "frames-per-part") m.settings.perPart = a;
        } else if (key == "scale") {
            m.settings.scale = value;
        } else if (key == "frames") {
            ok = frames = range(value, &m.settings.first, &m.settings.last);
        } else if (key == "part") {
            std::istringstream words(value);
            std::string index, span, state, k1, tries, k2, round, k3, job, k4, bytes;
            words >> index >> span >> state >> k1 >> tries >> k2 >> round >> k3 >> job >> k4 >>
                bytes;
            FarmPart p;
            std::int64_t i = 0, t = 0, r = 0, n = 0;
            ok = whole(index, &i) && i == std::int64_t(m.parts.size()) &&
                 range(span, &p.first, &p.last) && stateOf(state, &p.state) && k1 == "tries" &&
                 whole(tries, &t) && k2 == "round" && whole(round, &r) && k3 == "job" &&
                 !job.empty() && k4 == "bytes" && whole(bytes, &n);
            p.index = int(i);
            p.tries = int(t);
            p.round = int(r);
            p.job = job == "-" ? "" : job;
            p.bytes = n;
            if (ok) m.parts.push_back(p);
        } else {
            ok = false;
        }
        if (!ok) {
            *why = header ? "line " + std::to_string(number) + " (\"" + line + "\") is not understood"
                          : "it is not an ostrel-farm manifest";
            return false;
        }
    }
    if (!header || !frames || m.parts.empty()) {
        *why = header ? "it lists no frames or no parts" : "it is not an ostrel-farm manifest";
        return false;
    }
    // The parts must be the plan of the settings, or the folder is damaged.
    const std::vector<FarmPart> planned =
        planParts(m.settings.first, m.settings.last, m.settings.perPart);
    bool same = planned.size() == m.parts.size();
    for (std::size_t i = 0; same && i < planned.size(); ++i)
        same = planned[i].first == m.parts[i].first && planned[i].last == m.parts[i].last;
    if (!same) {
        *why = "its parts do not cover frames " + std::to_string(m.settings.first) + "-" +
               std::to_string(m.settings.last) + " in parts of " +
               std::to_string(m.settings.perPart);
        return false;
    }
    return true;
}

std::string settingsDifference(const FarmSettings& f, const FarmSettings& a) {
    auto differ = [](const char* option, const std::string& folder, const std::string& asked) {
        return std::string(option) + " " + folder + " (the folder's) and not " + asked;
    };
    auto size = [](const FarmSettings& s) {
        return std::to_string(s.width) + "x" + std::to_string(s.height);
    };
    auto frames = [](const FarmSettings& s) {
        return std::to_string(s.first) + "-" + std::to_string(s.last);
    };
    if (size(f) != size(a)) return differ("--size", size(f), size(a));
    if (f.fps != a.fps) return differ("--fps", std::to_string(f.fps), std::to_string(a.fps));
    if (f.scale != a.scale) return differ("--scale", f.scale, a.scale);
    if (f.quality != a.quality)
        return differ("--quality", std::to_string(f.quality), std::to_string(a.quality));
    if (frames(f) != frames(a)) return differ("frames", frames(f), frames(a));
    if (f.perPart != a.perPart)
        return differ("--frames-per-part", std::to_string(f.perPart), std::to_string(a.perPart));
    return "";
}

void readRecord(const std::string& text, TaskRecord& r) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t space = line.find(' ');
        if (space == std::string::npos) continue;
        const std::string key = line.substr(0, space), value = line.substr(space + 1);
        std::int64_t n = 0;
        if (key == "host") {
            r.host = value;
            r.started = true;
        } else if (key == "start" && whole(value, &n)) {
            r.start = double(n);
            r.started = true;
        } else if (key == "status" && whole(value, &n)) {
            r.status = int(n);
            r.ended = true;
        } else if (key == "end" && whole(value, &n)) {
            r.end = double(n);
        } else if (key == "error") {
            r.error = value;
        }
    }
}

void resumeParts(Manifest& m, const std::vector<PartFacts>& facts) {
    for (FarmPart& p : m.parts) {
        const PartFacts f = std::size_t(p.index) < facts.size() ? facts[p.index] : PartFacts{};
        const bool kept = p.state == PartState::done && f.fileExists && p.bytes > 0 &&
                          f.fileBytes == p.bytes;
        if (!kept) {
            p.state = PartState::pending;
            p.bytes = 0;
        }
        p.tries = 0;
    }
}

void endTry(FarmPart& part, bool succeeded, int maxTries) {
    if (succeeded)
        part.state = PartState::done;
    else
        part.state = part.tries < maxTries ? PartState::pending : PartState::failed;
}

std::int64_t framesInLog(const std::string& log) {
    const std::size_t at = log.rfind("(frame ");
    if (at == std::string::npos) return 0;
    std::int64_t n = 0;
    for (std::size_t i = at + 7; i < log.size() && log[i] >= '0' && log[i] <= '9'; ++i)
        n = n * 10 + (log[i] - '0');
    return n;
}

std::int64_t firstFrameOutOfPlace(const std::vector<double>& times, int fps,
                                  std::int64_t count) {
    const std::int64_t n = std::int64_t(times.size());
    for (std::int64_t i = 0; i < n && i < count; ++i)
        if (std::fabs(times[std::size_t(i)] - double(i) / fps) > 0.0006) return i;
    return n == count ? -1 : (n < count ? n : count);
}

int partOfFrame(const Manifest& m, std::int64_t frame) {
    const std::int64_t f = m.settings.first + frame;
    for (const FarmPart& p : m.parts)
        if (f >= p.first && f <= p.last) return p.index;
    return m.parts.empty() ? -1 : m.parts.back().index;
}

FarmCounts countParts(const Manifest& m, const std::vector<std::int64_t>& partial) {
    FarmCounts c;
    c.parts = int(m.parts.size());
    for (const FarmPart& p : m.parts) {
        const std::int64_t frames = p.last - p.first + 1;
        c.frames += frames;
        switch (p.state) {
        case PartState::done:
            ++c.done;
            c.framesDone += frames;
            break;
        case PartState::running: {
            const std::int64_t n =
                std::size_t(p.index) < partial.size() ? partial[std::size_t(p.index)] : -1;
            if (n < 0) {
                ++c.queued;
            } else {
                ++c.running;
                c.framesDone += std::min(frames, n);
            }
            break;
        }
        case PartState::failed: ++c.failed; break;
        case PartState::pending: ++c.pending; break;
        }
    }
    return c;
}

std::string progressLine(const FarmCounts& c, std::int64_t framesThisRun, double seconds,
                         bool bar) {
    std::string line;
    if (bar) {
        const int width = 24;
        const int filled = c.frames > 0 ? int(c.framesDone * width / c.frames) : 0;
        line = "[" + std::string(std::size_t(filled), '#') +
               std::string(std::size_t(width - filled), '.') + "] ";
    }
    line += std::to_string(c.framesDone) + " of " + std::to_string(c.frames) + " frames, " +
            std::to_string(c.done) + " of " + std::to_string(c.parts) + " parts done, " +
            std::to_string(c.running) + " running, " +
            (c.queued > 0 ? std::to_string(c.queued) + " queued, " : "") +
            std::to_string(c.failed) + " failed, ";
    const double rate = seconds > 0 ? double(framesThisRun) / seconds : 0.0;
    line += rate > 0 ? clockText(double(c.frames - c.framesDone) / rate) + " left" : "? left";
    return line;
}
