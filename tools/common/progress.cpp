// progress.cpp: the progress bar and the progress lines.
#include "tools/common/progress.h"

#include <cmath>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int barWidth = 24;

}  // namespace

std::string clockText(double seconds) {
    const long s = std::lround(seconds < 0 ? 0 : seconds);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

Progress startProgress(std::FILE* out, bool terminal, std::int64_t total, const char* program) {
    const Clock::time_point now = Clock::now();
    return Progress{out, program, terminal, total, 0, now, now - std::chrono::seconds(1)};
}

void showProgress(Progress& p, std::int64_t done, bool last) {
    if (p.out == nullptr || p.total <= 0) return;
    const Clock::time_point now = Clock::now();
    const double elapsed = std::chrono::duration<double>(now - p.start).count();
    const double fps = elapsed > 0.0 ? double(done) / elapsed : 0.0;
    const std::string left = fps > 0.0 ? clockText(double(p.total - done) / fps) : "?";
    if (p.terminal) {
        if (!last && now - p.lastDrawn < std::chrono::milliseconds(250)) return;
        p.lastDrawn = now;
        const int filled = int(done * barWidth / p.total);
        char bar[barWidth + 1];
        for (int i = 0; i < barWidth; ++i) bar[i] = i < filled ? '#' : '.';
        bar[barWidth] = '\0';
        std::fprintf(p.out, "\r[%s] frame %lld of %lld  %.2f fps  %s elapsed  %s left \033[K%s",
                     bar, (long long)done, (long long)p.total, fps, clockText(elapsed).c_str(),
                     left.c_str(), last ? "\n" : "");
        std::fflush(p.out);
        return;
    }
    const std::int64_t tenths = done * 10 / p.total;
    if (tenths <= p.shownTenths) return;
    p.shownTenths = tenths;
    std::fprintf(p.out, "%s: %lld%% (frame %lld of %lld), %.2f fps, %s elapsed, %s left\n",
                 p.program, (long long)(tenths * 10), (long long)done, (long long)p.total, fps,
                 clockText(elapsed).c_str(), left.c_str());
    std::fflush(p.out);
}
