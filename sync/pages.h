// pages.h: the page allocator the sync device takes its memory from.
//
// The sync device never uses the general-purpose heap. It takes zero-filled,
// read-write memory in whole pages from the operating system, in regions
// whose size can be asked for later (growRegion copies a region's whole size
// when the list of tracks moves). The platform layer provides these:
//   Linux    host/posix/pages.cpp: mmap, with the region's size kept in the
//            region itself, ahead of the returned address
//   Windows  host/win32/pages.cpp: VirtualAlloc, VirtualQuery, VirtualFree
// Tests may link an implementation of their own (one that fails on demand).
#pragma once

#include <cstddef>

// Page protection asked for. The show asks only for read-write pages.
enum PageProtection : int { pagesReadWrite = 1 };

// A new region of at least `bytes` zero-filled bytes, or null when the
// system refuses (or `bytes` is 0).
void* allocatePages(std::size_t bytes, PageProtection protection);

// The usable size of the region that starts at `region`, at least what was
// asked for; 0 when `region` is not a region of this allocator's. For null,
// a non-zero size (there is nothing to copy from null: callers skip the copy).
std::size_t regionSize(const void* region);

// Returns a region to the system. Null is ignored.
void releasePages(void* region);
