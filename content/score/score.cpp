// score.cpp: the score's parser (see score.h and the comment that opens
// content/score/ostrel.score).
#include "content/score/score.h"

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

namespace score {

namespace {

using synth::sampleRate;

struct Token {
    std::string text;
    int line;
};

// One statement: its words, the first naming what it is. A line that starts
// with a blank continues the statement above it.
struct Statement {
    std::vector<Token> words;
    int line() const { return words.front().line; }
};

struct Fault {
    int line;
    std::string what;
};

[[noreturn]] void fail(int line, const std::string& what) { throw Fault{line, what}; }

std::vector<Statement> split(const std::string& text) {
    std::vector<Statement> out;
    std::istringstream in(text);
    std::string raw;
    int line = 0;
    while (std::getline(in, raw)) {
        ++line;
        // A comment starts at a '#' that begins a word; inside a word it is
        // a sharp (C#4).
        for (std::size_t i = 0; i < raw.size(); ++i)
            if (raw[i] == '#' && (i == 0 || raw[i - 1] == ' ' || raw[i - 1] == '\t')) {
                raw.erase(i);
                break;
            }
        std::istringstream words(raw);
        std::string w;
        std::vector<Token> tokens;
        while (words >> w) tokens.push_back({w, line});
        if (tokens.empty()) continue;
        const bool continues = raw[0] == ' ' || raw[0] == '\t';
        if (continues) {
            if (out.empty()) fail(line, "an indented line continues nothing");
            out.back().words.insert(out.back().words.end(), tokens.begin(), tokens.end());
        } else {
            out.push_back({tokens});
        }
    }
    return out;
}

double number(const Token& t) {
    const char* begin = t.text.c_str();
    char* end = nullptr;
    const double v = std::strtod(begin, &end);
    if (end == begin || *end != '\0' || !std::isfinite(v)) fail(t.line, "'" + t.text + "' is not a number");
    return v;
}

double numberIn(const Token& t, double lo, double hi, const std::string& what) {
    const double v = number(t);
    if (v < lo || v > hi) {
        std::ostringstream s;
        s << what << " " << t.text << " is outside " << lo << " .. " << hi;
        fail(t.line, s.str());
    }
    return v;
}

// Walks a statement's words after the first few.
struct Words {
    const Statement& st;
    std::size_t at;
    bool done() const { return at >= st.words.size(); }
    const Token& next(const std::string& expecting) {
        if (done()) fail(st.words.back().line, "expected " + expecting + " after '" + st.words.back().text + "'");
        return st.words[at++];
    }
};

template <class T>
void readSettings(Words& w, T& target, const std::vector<synth::SettingInfo<T>>& table,
                  const std::string& what, std::string* sidechain = nullptr, int* sidechainLine = nullptr) {
    while (!w.done()) {
        const Token& key = w.next("a setting");
        if (sidechain && key.text == "sidechain") {
            const Token& name = w.next("an instrument name");
            *sidechain = name.text;
            *sidechainLine = name.line;
            continue;
        }
        const synth::SettingInfo<T>* info = nullptr;
        for (const auto& s : table)
            if (key.text == s.name) info = &s;
        if (!info) fail(key.line, what + " has no setting '" + key.text + "'");
        target.*(info->field) = numberIn(w.next("a value for " + key.text), info->lo, info->hi, key.text);
    }
}

struct Hit {
    std::vector<double> notes;
    double velocity = 0.8;
};

// A step of a pattern: a hit, a hold of what sounds, or a rest.
struct Step {
    enum Kind { rest, hold, hit } kind = rest;
    Hit what;
};

struct Pattern {
    double stepsPerBeat = 4;
    std::vector<Step> steps;
    int line = 0;
};

struct Play {
    std::size_t section;
    int line;
    std::size_t track;
    const Pattern* pattern;
    double from, to, transpose;
};

struct Move {
    std::size_t section;
    int line;
    std::size_t track;
    int target;
    double from, to, valueFrom, valueTo;
};

int rampTarget(const Token& t) {
    if (t.text == "level") return synth::rampLevel;
    if (t.text == "cutoff") return synth::rampCutoff;
    if (t.text == "reverb") return synth::rampReverb;
    if (t.text == "delay") return synth::rampDelay;
    fail(t.line, "'" + t.text + "' cannot be moved (level, cutoff, reverb or delay)");
}

void checkMoveValue(const Token& t, int target, double v) {
    switch (target) {
        case synth::rampLevel:
            if (v < -60 || v > 12) fail(t.line, "level " + t.text + " is outside -60 .. 12");
            break;
        case synth::rampCutoff:
            if (v < 20 || v > 20000) fail(t.line, "cutoff " + t.text + " is outside 20 .. 20000");
            break;
        default:
            if (v < 0 || v > 1) fail(t.line, "send " + t.text + " is outside 0 .. 1");
            break;
    }
}

class Parser {
public:
    explicit Parser(Score& s) : score_(s) {}

    void run(const std::string& text) {
        for (const Statement& st : split(text)) statement(st);
        finish();
    }

private:
    Score& score_;
    std::map<std::string, std::size_t> tracks_;
    std::map<std::string, std::vector<double>> chords_;
    std::map<std::string, Pattern> patterns_;
    std::vector<Play> plays_;
    std::vector<Move> moves_;
    double endRow_ = -1;
    int endLine_ = 0;
    std::string sidechain_;
    int sidechainLine_ = 0;

    void statement(const Statement& st) {
        const std::string& kind = st.words[0].text;
        Words w{st, 1};
        if (kind == "master")
            readSettings(w, score_.piece.master, synth::masterParams(), "master", &sidechain_, &sidechainLine_);
        else if (kind == "reverb")
            readSettings(w, score_.piece.reverb, synth::reverbParams(), "reverb");
        else if (kind == "delay")
            readSettings(w, score_.piece.delay, synth::delayParams(), "delay");
        else if (kind == "instrument")
            instrument(w);
        else if (kind == "chord")
            chord(w);
        else if (kind == "pattern")
            pattern(w);
        else if (kind == "section")
            section(w);
        else if (kind == "end")
            end(w);
        else if (kind == "play")
            play(w);
        else if (kind == "ramp" || kind == "set")
            move(w, kind == "set");
        else
            fail(st.line(), "unknown statement '" + kind + "'");
    }

    void instrument(Words& w) {
        const Token& name = w.next("an instrument name");
        const Token& kindName = w.next("an instrument kind");
        const synth::KindInfo* kind = synth::findKind(kindName.text);
        if (!kind) fail(kindName.line, "unknown instrument kind '" + kindName.text + "' (kick, snare, hat, synth, fm)");
        if (tracks_.count(name.text)) fail(name.line, "instrument '" + name.text + "' is defined twice");
        synth::Track track;
        track.name = name.text;
        track.patch = synth::defaultPatch(*kind);
        while (!w.done()) {
            const Token& key = w.next("a setting");
            const synth::ParamInfo* info = synth::findParam(*kind, key.text);
            if (!info) fail(key.line, std::string(kind->name) + " has no setting '" + key.text + "'");
            const Token& value = w.next("a value for " + key.text);
            double v;
            if (info->words) {
                std::istringstream names(info->words);
                std::string n;
                int index = 0;
                v = -1;
                while (names >> n) {
                    if (n == value.text) v = index;
                    ++index;
                }
                if (v < 0) fail(value.line, key.text + " '" + value.text + "' is not one of: " + info->words);
            } else {
                v = numberIn(value, info->lo, info->hi, key.text);
            }
            track.patch.*(info->field) = v;
        }
        tracks_[name.text] = score_.piece.tracks.size();
        score_.piece.tracks.push_back(track);
    }

    void chord(Words& w) {
        const Token& name = w.next("a chord name");
        if (noteNumber(name.text) >= 0) fail(name.line, "chord name '" + name.text + "' reads as a note");
        if (chords_.count(name.text)) fail(name.line, "chord '" + name.text + "' is defined twice");
        std::vector<double> notes;
        while (!w.done()) {
            const Token& t = w.next("a note");
            const int n = noteNumber(t.text);
            if (n < 0) fail(t.line, "'" + t.text + "' is not a note");
            notes.push_back(n);
        }
        if (notes.empty()) fail(name.line, "chord '" + name.text + "' has no notes");
        chords_[name.text] = notes;
    }

    Step step(const Token& t) {
        Step s;
        if (t.text == ".") return s;
        if (t.text == "-") {
            s.kind = Step::hold;
            return s;
        }
        s.kind = Step::hit;
        std::string body = t.text;
        if (body.size() > 1 && (body.back() == '!' || body.back() == '?')) {
            s.what.velocity = body.back() == '!' ? 1.0 : 0.5;
            body.pop_back();
        }
        if (body == "x" || body == "X" || body == "o") {
            if (body == "X") s.what.velocity = 1.0;
            if (body == "o") s.what.velocity = 0.5;
            s.what.notes.push_back(60);
            return s;
        }
        std::size_t from = 0;
        while (from <= body.size()) {
            std::size_t plus = body.find('+', from);
            if (plus == std::string::npos) plus = body.size();
            const std::string part = body.substr(from, plus - from);
            const int n = noteNumber(part);
            if (n >= 0) {
                s.what.notes.push_back(n);
            } else if (chords_.count(part)) {
                const std::vector<double>& c = chords_[part];
                s.what.notes.insert(s.what.notes.end(), c.begin(), c.end());
            } else {
                fail(t.line, "'" + part + "' is neither a note nor a chord");
            }
            from = plus + 1;
        }
        return s;
    }

    void pattern(Words& w) {
        const Token& name = w.next("a pattern name");
        if (patterns_.count(name.text)) fail(name.line, "pattern '" + name.text + "' is defined twice");
        Pattern p;
        p.line = name.line;
        p.stepsPerBeat = numberIn(w.next("steps a beat"), 0.0625, 16, "steps a beat");
        while (!w.done()) {
            const Token& t = w.next("a step");
            if (t.text == "|") continue;
            p.steps.push_back(step(t));
        }
        if (p.steps.empty()) fail(name.line, "pattern '" + name.text + "' has no steps");
        patterns_[name.text] = p;
    }

    void section(Words& w) {
        const Token& name = w.next("a section name");
        Section s;
        s.name = name.text;
        bool row = false, beats = false;
        while (!w.done()) {
            const Token& key = w.next("row or beats");
            if (key.text == "row") {
                s.row = numberIn(w.next("a row"), 0, 1e6, "row");
                row = true;
            } else if (key.text == "beats") {
                s.beats = numberIn(w.next("a number of beats"), 1, 10000, "beats");
                beats = true;
            } else {
                fail(key.line, "section has no setting '" + key.text + "'");
            }
        }
        if (!row || !beats) fail(name.line, "section '" + name.text + "' needs a row and beats");
        if (endRow_ >= 0) fail(name.line, "section '" + name.text + "' comes after the end");
        if (!score_.sections.empty() && s.row <= score_.sections.back().row)
            fail(name.line, "section '" + name.text + "' does not start after the one before");
        score_.sections.push_back(s);
    }

    void end(Words& w) {
        const Token& key = w.next("row");
        if (key.text != "row") fail(key.line, "expected 'row' after 'end'");
        const Token& value = w.next("a row");
        endRow_ = numberIn(value, 0, 1e6, "row");
        endLine_ = value.line;
        if (score_.sections.empty()) fail(value.line, "the end comes before any section");
        if (endRow_ <= score_.sections.back().row) fail(value.line, "the end does not come after the last section");
        if (!w.done()) fail(value.line, "unexpected words after the end row");
    }

    std::size_t currentSection(int line) {
        if (score_.sections.empty()) fail(line, "play, ramp and set belong to a section; none has begun");
        if (endRow_ >= 0) fail(line, "play, ramp and set cannot come after the end");
        return score_.sections.size() - 1;
    }

    std::size_t trackNamed(const Token& t) {
        auto it = tracks_.find(t.text);
        if (it == tracks_.end()) fail(t.line, "unknown instrument '" + t.text + "'");
        return it->second;
    }

    // Reads "from B", "to B" and the extra keys a statement allows.
    void span(Words& w, double& from, double& to, std::map<std::string, double>& extra) {
        while (!w.done()) {
            const Token& key = w.next("from, to or a setting");
            if (key.text == "from")
                from = numberIn(w.next("a beat"), 0, 1e6, "from");
            else if (key.text == "to")
                to = numberIn(w.next("a beat"), 0, 1e6, "to");
            else if (extra.count(key.text))
                extra[key.text] = number(w.next("a value for " + key.text));
            else
                fail(key.line, "unexpected '" + key.text + "'");
        }
    }

    void play(Words& w) {
        const int line = w.st.line();
        Play p{currentSection(line), line, 0, nullptr, 0, -1, 0};
        p.track = trackNamed(w.next("an instrument"));
        const Token& name = w.next("a pattern");
        auto it = patterns_.find(name.text);
        if (it == patterns_.end()) fail(name.line, "unknown pattern '" + name.text + "'");
        p.pattern = &it->second;
        std::map<std::string, double> extra = {{"transpose", 0}};
        span(w, p.from, p.to, extra);
        p.transpose = extra["transpose"];
        plays_.push_back(p);
    }

    void move(Words& w, bool set) {
        const int line = w.st.line();
        Move m{currentSection(line), line, 0, 0, 0, -1, 0, 0};
        m.track = trackNamed(w.next("an instrument"));
        const Token& target = w.next("level, cutoff, reverb or delay");
        m.target = rampTarget(target);
        if (m.target == synth::rampCutoff && score_.piece.tracks[m.track].patch.kind != synth::kindSynth)
            fail(target.line, "only synth instruments have a cutoff to move");
        const Token& a = w.next("a value");
        m.valueFrom = number(a);
        checkMoveValue(a, m.target, m.valueFrom);
        if (set) {
            m.valueTo = m.valueFrom;
            while (!w.done()) {
                const Token& key = w.next("at");
                if (key.text != "at") fail(key.line, "unexpected '" + key.text + "'");
                m.from = numberIn(w.next("a beat"), 0, 1e6, "at");
            }
            m.to = m.from;
        } else {
            const Token& b = w.next("a second value");
            m.valueTo = number(b);
            checkMoveValue(b, m.target, m.valueTo);
            std::map<std::string, double> extra;
            span(w, m.from, m.to, extra);
        }
        moves_.push_back(m);
    }

    // The sample at `beat` of section `i`.
    std::int64_t sampleAt(std::size_t i, double beat) const {
        const Section& s = score_.sections[i];
        return std::int64_t(std::floor((s.start + beat * s.beatLength) * sampleRate + 0.5));
    }

    void checkSpan(int line, const Section& s, double from, double& to) {
        if (to < 0) to = s.beats;
        if (to > s.beats) {
            std::ostringstream m;
            m << "beat " << to << " lies past the end of section '" << s.name << "' (" << s.beats << " beats)";
            fail(line, m.str());
        }
        if (from > to) fail(line, "'from' comes after 'to'");
    }

    void finish() {
        if (score_.sections.empty()) fail(1, "the score has no sections");
        if (endRow_ < 0) fail(1, "the score has no 'end row'");
        for (std::size_t i = 0; i < score_.sections.size(); ++i) {
            Section& s = score_.sections[i];
            const double next = i + 1 < score_.sections.size() ? score_.sections[i + 1].row : endRow_;
            s.start = s.row / rowsPerSecond;
            s.beatLength = (next - s.row) / rowsPerSecond / s.beats;
        }
        score_.end = endRow_ / rowsPerSecond;
        score_.piece.end = std::int64_t(std::floor(score_.end * sampleRate + 0.5));

        for (Play& p : plays_) {
            const Section& s = score_.sections[p.section];
            checkSpan(p.line, s, p.from, p.to);
            expand(p);
        }
        for (Move& m : moves_) {
            checkSpan(m.line, score_.sections[m.section], m.from, m.to);
            synth::Ramp r;
            r.target = m.target;
            r.start = sampleAt(m.section, m.from);
            r.end = sampleAt(m.section, m.to);
            r.from = m.valueFrom;
            r.to = m.valueTo;
            score_.piece.tracks[m.track].ramps.push_back(r);
        }
        if (!sidechain_.empty()) {
            auto it = tracks_.find(sidechain_);
            if (it == tracks_.end()) fail(sidechainLine_, "unknown sidechain instrument '" + sidechain_ + "'");
            score_.piece.sidechain = int(it->second);
        }
    }

    // Places a pattern's notes, repeated from `from` up to `to`.
    void expand(const Play& p) {
        const Pattern& pat = *p.pattern;
        const double stepBeats = 1.0 / pat.stepsPerBeat;
        synth::Track& track = score_.piece.tracks[p.track];
        struct Open {
            double beat;
            Hit hit;
        };
        std::vector<Open> open;
        auto close = [&](double beat) {
            for (const Open& o : open) {
                const std::int64_t start = sampleAt(p.section, o.beat);
                const std::int64_t stop = sampleAt(p.section, beat);
                for (double n : o.hit.notes) {
                    synth::NoteEvent e;
                    e.start = start;
                    e.gate = stop - start > 0 ? stop - start : 1;
                    e.note = n + p.transpose;
                    e.velocity = o.hit.velocity;
                    if (e.note < 0 || e.note > 127) fail(p.line, "a note falls outside 0 .. 127 after transposing");
                    track.notes.push_back(e);
                }
            }
            open.clear();
        };
        for (std::size_t i = 0;; ++i) {
            const double beat = p.from + double(i) * stepBeats;
            if (beat >= p.to - 1e-9) break;
            const Step& s = pat.steps[i % pat.steps.size()];
            if (s.kind == Step::hold) continue;
            close(beat);
            if (s.kind == Step::hit) open.push_back({beat, s.what});
        }
        close(p.to);
    }
};

}  // namespace

int noteNumber(const std::string& name) {
    static const int base[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (name.empty() || name[0] < 'A' || name[0] > 'G') return -1;
    int pitch = base[name[0] - 'A'];
    std::size_t i = 1;
    if (i < name.size() && (name[i] == '#' || name[i] == 'b')) {
        pitch += name[i] == '#' ? 1 : -1;
        ++i;
    }
    const std::string octave = name.substr(i);
    if (octave.empty() || octave.size() > 2) return -1;
    std::size_t digits = 0;
    const bool negative = octave[0] == '-';
    for (std::size_t k = negative ? 1 : 0; k < octave.size(); ++k) {
        if (octave[k] < '0' || octave[k] > '9') return -1;
        ++digits;
    }
    if (digits != 1) return -1;
    const int o = negative ? -(octave[1] - '0') : octave[0] - '0';
    const int n = 12 * (o + 1) + pitch;
    return n >= 0 && n <= 127 ? n : -1;
}

bool parseScore(const std::string& text, Score& score, std::string& error) {
    score = Score();
    try {
        Parser(score).run(text);
    } catch (const Fault& f) {
        error = std::to_string(f.line) + ": " + f.what;
        return false;
    }
    return true;
}

}  // namespace score
