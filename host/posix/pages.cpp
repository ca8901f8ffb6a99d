// pages.cpp: the page allocator on POSIX systems, with mmap.
//
// Each region is an anonymous private mapping: zero-filled, read-write, whole
// pages. The first 16 bytes of the mapping hold a marker and the mapping's
// length; the caller gets the address just after them, so regionSize and
// releasePages find the length without any table (and without the heap).
// The usable size of a region is the mapping's length less those 16 bytes,
// at least what was asked for.
//
// Limits: regionSize and releasePages read the 16 bytes before the address
// they are given; an address this allocator did not hand out must not be
// passed (the marker catches most such mistakes: the size is then 0 and
// nothing is released).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "sync/pages.h"

namespace {

constexpr std::size_t headerBytes = 16;
constexpr std::uint64_t regionMarker = 0x4f7374726c50676bull;  // an arbitrary pattern

struct Header {
    std::uint64_t marker;
    std::uint64_t mappedBytes;
};
static_assert(sizeof(Header) == headerBytes, "the header keeps the caller's data 16-byte aligned");

std::size_t pageBytes() {
    long page = sysconf(_SC_PAGESIZE);
    return page > 0 ? std::size_t(page) : 4096;
}

const Header* headerOf(const void* region) {
    return reinterpret_cast<const Header*>(static_cast<const unsigned char*>(region) -
                                           headerBytes);
}

}  // namespace

void* allocatePages(std::size_t bytes, PageProtection protection) {
    if (bytes == 0 || protection != pagesReadWrite) return nullptr;
    const std::size_t page = pageBytes();
    if (bytes > SIZE_MAX - headerBytes - page) return nullptr;
    const std::size_t mapped = (bytes + headerBytes + page - 1) / page * page;
    void* base = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        std::fprintf(stderr, "pages: cannot map %zu bytes for %zu asked\n", mapped, bytes);
        return nullptr;
    }
    auto* header = static_cast<Header*>(base);
    header->marker = regionMarker;
    header->mappedBytes = mapped;
    return static_cast<unsigned char*>(base) + headerBytes;
}

std::size_t regionSize(const void* region) {
    // Null stands for "no region yet": a non-zero size, nothing to copy.
    if (region == nullptr) return pageBytes();
    const Header* header = headerOf(region);
    if (header->marker != regionMarker) return 0;
    return std::size_t(header->mappedBytes) - headerBytes;
}

void releasePages(void* region) {
    if (region == nullptr) return;
    const Header* header = headerOf(region);
    if (header->marker != regionMarker) return;
    void* base = const_cast<Header*>(header);
    munmap(base, std::size_t(header->mappedBytes));
}
