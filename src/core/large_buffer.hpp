// Storage for large arrays that a fit writes in full right after allocating them.
//
// A fresh array of tens of megabytes costs more in page faults than the fit spends computing it: the
// kernel maps and clears it one 4 KiB page at a time, on first touch.  Arrays of kHugeFrom bytes or more
// are therefore placed on 2 MiB boundaries and offered to the kernel for transparent huge pages
// (madvise; a no-op where the system has them off), which cuts the faults 512-fold.  Elements are
// default-initialised, not zeroed: the owner writes each one before reading it, so a zeroing pass
// would only touch every page twice.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace morvelay {

template <class T>
struct LargeBufferAllocator {
    using value_type = T;

    static constexpr std::size_t kHugePage = std::size_t{1} << 21;
    // At least four huge pages, so rounding up to whole ones wastes at most a fifth.
    static constexpr std::size_t kHugeFrom = 4 * kHugePage;

    LargeBufferAllocator() = default;
    template <class U>
    LargeBufferAllocator(const LargeBufferAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kHugeFrom) return static_cast<T*>(::operator new(bytes));
        const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        void* p = std::aligned_alloc(kHugePage, rounded);
        if (p == nullptr) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        (void)madvise(p, rounded, MADV_HUGEPAGE);  // advice only: without huge pages the array still works
#endif
        return static_cast<T*>(p);
    }

    void deallocate(T* p, std::size_t n) noexcept {
        if (n * sizeof(T) < kHugeFrom) {
            ::operator delete(p);
        } else {
            std::free(p);
        }
    }

    template <class U>
    void construct(U* p) noexcept(noexcept(::new (static_cast<void*>(p)) U)) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    template <class U>
    bool operator==(const LargeBufferAllocator<U>&) const noexcept {
        return true;
    }
};

// A growable array on that storage.
template <class T>
using LargeVector = std::vector<T, LargeBufferAllocator<T>>;

}  // namespace morvelay
