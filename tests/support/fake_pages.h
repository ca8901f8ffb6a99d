// fake_pages.h: a page allocator for tests that refuses on demand.
//
// Stands in for the platform's page memory (sync/pages.h) in the sync
// tests. Regions come from the heap, rounded up to whole 64-byte "pages" so
// that a region is larger than what was asked, as with the real allocator.
// Every allocation, release and live region is counted; the allocator can be
// told to refuse the Nth allocation from now, and reports releases of
// addresses it never handed out (or already took back).
#pragma once

#include <cstddef>

namespace fakePages {

constexpr std::size_t pageBytes = 64;

// Releases every live region and clears the counters and the refusal.
void reset();
// The Nth allocation from now (1 = the next one) returns null; 0: none.
void refuseAllocation(int nth);
// Every allocation from the Nth on returns null (until reset).
void refuseFrom(int nth);

int allocations();  // allocations asked for since reset, refused ones included
int releases();     // regions taken back since reset
int live();         // regions handed out and not taken back
int badReleases();  // releases of addresses that are not live regions
bool isLive(const void* region);

}  // namespace fakePages
