// pages.cpp: the page allocator on Windows, with VirtualAlloc.
//
// Each region is one allocation of committed pages (MEM_COMMIT | MEM_RESERVE,
// PAGE_READWRITE): zero-filled, read-write, whole pages, starting on the
// allocation granularity (64 KiB). Its size is what VirtualQuery reports for
// the pages from its start that share its state: the size asked for,
// rounded up to whole pages. Nothing is kept beside the region.
//
// Limits: an address that is not the start of such an allocation has no size
// (0) and is not released.
#include <windows.h>

#include <cstdio>

#include "sync/pages.h"

namespace {

std::size_t pageBytes() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize ? std::size_t(info.dwPageSize) : 4096;
}

}  // namespace

void* allocatePages(std::size_t bytes, PageProtection protection) {
    if (bytes == 0 || protection != pagesReadWrite) return nullptr;
    void* region = VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (region == nullptr)
        std::fprintf(stderr, "ostrel: pages: cannot commit %zu bytes (error %lu)\n", bytes,
                     static_cast<unsigned long>(GetLastError()));
    return region;
}

std::size_t regionSize(const void* region) {
    // Null stands for "no region yet": a non-zero size, nothing to copy.
    if (region == nullptr) return pageBytes();
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(region, &info, sizeof info) != sizeof info) return 0;
    if (info.AllocationBase != region || info.BaseAddress != region || info.State != MEM_COMMIT)
        return 0;
    return info.RegionSize;
}

void releasePages(void* region) {
    if (region != nullptr && regionSize(region) != 0) VirtualFree(region, 0, MEM_RELEASE);
}
