#include "DirtyAllocations.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

std::atomic<int> dirtyScopes{0};

} // namespace

DirtyAllocations::DirtyAllocations() {
    ++dirtyScopes;
}

DirtyAllocations::~DirtyAllocations() {
    --dirtyScopes;
}

// The program's array allocations, replaced for the whole test binary; they behave as the
// library's own unless a DirtyAllocations object lives.
void* operator new[](std::size_t size) {
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr)
        throw std::bad_alloc();
    if (dirtyScopes.load() > 0)
        std::memset(memory, 0xA5, size);
    return memory;
}

void operator delete[](void* memory) noexcept {
    std::free(memory);
}

void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}
