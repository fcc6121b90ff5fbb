#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <sys/mman.h>
#include <vector>

namespace telvora
{

// The allocator of the field arrays a chunk is rebuilt in: tens of megabytes that every chunk
// writes in full before reading. Elements are left uninitialised by resize, and large arrays sit
// on 2 MiB pages where the system offers them: touching them the first time then costs one page
// fault per 2 MiB instead of one per 4 KiB, which was a good part of decoding a chunk.
template <typename T>
class FieldAllocator
{
public:
    using value_type = T;

    FieldAllocator() = default;
    template <typename U>
    explicit FieldAllocator(const FieldAllocator<U>&) noexcept
    {
    }

    T* allocate(std::size_t n)
    {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kLargePage)
        {
            return std::allocator<T>().allocate(n);
        }
        void* memory = nullptr;
        if (::posix_memalign(&memory, kLargePage, bytes) != 0)
        {
            throw std::bad_alloc();
        }
        // Only advice: without large pages the array works the same.
        (void)::madvise(memory, bytes, MADV_HUGEPAGE);
        return static_cast<T*>(memory);
    }

    void deallocate(T* pointer, std::size_t n) noexcept
    {
        if (n * sizeof(T) < kLargePage)
        {
            std::allocator<T>().deallocate(pointer, n);
            return;
        }
        std::free(pointer);
    }

    // Default-initialised: no zero bytes written only to be overwritten.
    template <typename U>
    void construct(U* pointer) noexcept
    {
        ::new (static_cast<void*>(pointer)) U;
    }

    template <typename U>
    bool operator==(const FieldAllocator<U>&) const noexcept
    {
        return true;
    }

private:
    static constexpr std::size_t kLargePage = std::size_t{2} << 20;
};

template <typename T>
using FieldArray = std::vector<T, FieldAllocator<T>>;

// Maps the pages of the array's whole capacity before it is first written, where the system can: a
// second thread takes the page faults (and the zeroing of the pages) while the first one decodes.
template <typename T>
void PrefaultFieldArray(FieldArray<T>& array) noexcept
{
#ifdef MADV_POPULATE_WRITE
    constexpr std::size_t kPage = 4096;
    const auto start = reinterpret_cast<std::uintptr_t>(array.data()) & ~(kPage - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(array.data() + array.capacity());
    if (end > start)
    {
        // Only advice: where the kernel cannot populate, the first write faults as usual.
        (void)::madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
    }
#else
    (void)array;
#endif
}

} // namespace telvora
