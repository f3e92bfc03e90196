#pragma once
// The process's heap, counted and made to fail on demand. Included by one file of a test
// program, it replaces that program's global allocation functions.
#include <cstdlib>
#include <new>

// Blocks allocated and not yet freed.
inline long LiveBlocks = 0;
// While FailAtAllocation is N (not 0), the N-th allocation counted in AllocationsSeen from then
// on fails, as it would when the heap runs out.
inline int FailAtAllocation = 0;
inline int AllocationsSeen = 0;

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (FailAtAllocation != 0 && ++AllocationsSeen == FailAtAllocation) return nullptr;
    void* p = std::malloc(size ? size : 1);
    if (p) ++LiveBlocks;
    return p;
}
void* operator new(std::size_t size) {
    if (void* p = operator new(size, std::nothrow)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept {
    if (!p) return;
    --LiveBlocks;
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}
void operator delete[](void* p) noexcept {
    operator delete(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    operator delete(p);
}
