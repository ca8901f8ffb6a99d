// fake_pages.cpp: the counting, refusing page allocator of the tests.
#include "tests/support/fake_pages.h"

#include <cstdlib>
#include <map>

#include "sync/pages.h"

namespace {

struct State {
    std::map<const void*, std::size_t> regions;
    int allocations = 0;
    int releases = 0;
    int badReleases = 0;
    int refuseAt = 0;    // allocation number refused once; 0: none
    int refuseFrom = 0;  // allocation number from which all are refused; 0: none
};

// Never destroyed: the regions a test leaves (the sync device never frees
// its memory, as in the show) stay reachable for the leak checker at exit.
State& state() {
    static State* s = new State;
    return *s;
}

}  // namespace

void* allocatePages(std::size_t bytes, PageProtection protection) {
    State& s = state();
    const int number = ++s.allocations;
    if (number == s.refuseAt || (s.refuseFrom > 0 && number >= s.refuseFrom)) return nullptr;
    if (bytes == 0 || protection != pagesReadWrite) return nullptr;
    const std::size_t size = (bytes + fakePages::pageBytes - 1) / fakePages::pageBytes *
                             fakePages::pageBytes;
    void* region = std::calloc(1, size);
    if (region != nullptr) s.regions[region] = size;
    return region;
}

std::size_t regionSize(const void* region) {
    if (region == nullptr) return 4096;
    auto it = state().regions.find(region);
    return it == state().regions.end() ? 0 : it->second;
}

void releasePages(void* region) {
    if (region == nullptr) return;
    State& s = state();
    auto it = s.regions.find(region);
    if (it == s.regions.end()) {
        ++s.badReleases;
        return;
    }
    s.regions.erase(it);
    std::free(region);
    ++s.releases;
}

namespace fakePages {

void reset() {
    State& s = state();
    for (auto& region : s.regions) std::free(const_cast<void*>(region.first));
    s = State{};
}

void refuseAllocation(int nth) { state().refuseAt = nth > 0 ? state().allocations + nth : 0; }
void refuseFrom(int nth) { state().refuseFrom = nth > 0 ? state().allocations + nth : 0; }
int allocations() { return state().allocations; }
int releases() { return state().releases; }
int live() { return int(state().regions.size()); }
int badReleases() { return state().badReleases; }
bool isLive(const void* region) { return state().regions.count(region) != 0; }

}  // namespace fakePages
