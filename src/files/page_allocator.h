#pragma once
// An allocator that takes large blocks straight from the system: a block of 256 KiB or more
// is mapped on its own and unmapped when freed, so it goes back to the system at once whichever
// thread allocated it. Small blocks come from the ordinary heap. No Qt.

#include <cstddef>
#include <new>
#include <sys/mman.h>

namespace kvx {

// Blocks of this size and more are mapped on their own.
constexpr std::size_t kMappedBlock = std::size_t{256} << 10;

template <class T> struct PageAllocator {
    using value_type = T;

    PageAllocator() = default;
    template <class U> PageAllocator(const PageAllocator<U>&) {} // NOLINT: rebinding

    T* allocate(std::size_t n) {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kMappedBlock)
            return static_cast<T*>(::operator new(bytes));
        void* p =
            ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t n) {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kMappedBlock)
            ::operator delete(p);
        else
            ::munmap(p, bytes);
    }
    template <class U> bool operator==(const PageAllocator<U>&) const { return true; }
    template <class U> bool operator!=(const PageAllocator<U>&) const { return false; }
};

} // namespace kvx
