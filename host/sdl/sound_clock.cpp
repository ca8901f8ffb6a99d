// sound_clock.cpp: holding and steering the show clock by the sound heard.
#include "host/sdl/sound_clock.h"

#include <algorithm>

namespace {

// `state`: the clock runs on the monotonic clock alone; it waits for the
// first consumed samples; or it follows the published lead.
constexpr int runsFree = 0, waitsForSound = 1, followsSound = 2;

// What the device was handed is heard at most this many buffers later.
constexpr double heardBehind = 0.75;

constexpr int leadWindow = int(sizeof(SoundClock::leads) / sizeof(SoundClock::leads[0]));
constexpr int drawWindow =
    int(sizeof(SoundClock::drawTimes) / sizeof(SoundClock::drawTimes[0]));

}  // namespace

void startSoundClock(SoundClock& clock, double origin, bool steer) {
    clock.origin = origin;
    clock.last = origin;
    clock.leadCount = clock.leadNext = 0;
    clock.state.store(steer ? waitsForSound : runsFree, std::memory_order_release);
}

void soundFed(SoundClock& clock, double now, std::uint64_t handed, std::uint32_t frames,
              std::uint32_t rate, bool over) {
    if (over) {
        // Played out: nothing more will be heard to follow.
        freeSoundClock(clock);
        return;
    }
    // The first callback only fills the device; the next ones come as it
    // consumes. Before the first one nothing was handed, so nothing is known.
    if (handed == 0 || rate == 0) return;
    const double heard = (double(handed) - heardBehind * double(frames)) * 1000.0 / double(rate);
    clock.leads[clock.leadNext] = heard - now;
    clock.leadNext = (clock.leadNext + 1) % leadWindow;
    if (clock.leadCount < leadWindow) ++clock.leadCount;
    double lead = clock.leads[0];
    for (int i = 1; i < clock.leadCount; ++i)
        if (clock.leads[i] > lead) lead = clock.leads[i];
    clock.heardLead.store(lead, std::memory_order_relaxed);
    int expected = waitsForSound;
    clock.state.compare_exchange_strong(expected, followsSound, std::memory_order_release);
}

void freeSoundClock(SoundClock& clock) { clock.state.store(runsFree, std::memory_order_release); }

void frameShown(SoundClock& clock, double ms) {
    if (!(ms >= 0.0)) return;
    clock.drawTimes[clock.drawNext] = ms;
    clock.drawNext = (clock.drawNext + 1) % drawWindow;
    if (clock.drawCount < drawWindow) ++clock.drawCount;
    if (clock.drawCount < drawWindow) return;
    double sorted[drawWindow];
    std::copy(clock.drawTimes, clock.drawTimes + drawWindow, sorted);
    std::nth_element(sorted, sorted + drawWindow / 2, sorted + drawWindow);
    clock.drawLead = sorted[drawWindow / 2];
}

double readSoundClock(SoundClock& clock, double now) {
    double reading = now + clock.offset;
    switch (clock.state.load(std::memory_order_acquire)) {
        case waitsForSound:
            // Held at the request until the sound comes; after the wait limit
            // it runs on from there and keeps listening for the sound.
            if (now - clock.origin < soundWaitLimitMs) reading = clock.origin;
            break;
        case followsSound:
            reading = clock.origin + now + clock.heardLead.load(std::memory_order_relaxed) +
                      clock.drawLead;
            break;
        default: break;
    }
    if (reading < clock.last) reading = clock.last;
    clock.last = reading;
    clock.offset = reading - now;
    return reading;
}
