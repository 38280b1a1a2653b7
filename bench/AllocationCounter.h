#pragma once

// Counts heap allocations so a benchmark can show that a path makes none. It replaces the
// global operator new: include it in exactly one source file of a benchmark program.

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace veska::bench {
inline std::atomic<std::int64_t> heapAllocations{0};
}

void* operator new(std::size_t size) {
    ++veska::bench::heapAllocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
