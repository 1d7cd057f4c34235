#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

// A fixed-length, zero-filled array of plain values on a 16-byte boundary, so 4-wide vector
// arithmetic can load it directly. It is sized off the audio path and never grows by itself.
template <typename T>
class AlignedArray
{
    static_assert (std::is_trivially_copyable_v<T>, "AlignedArray holds plain values only");

public:
    static constexpr size_t alignment = 16;

    AlignedArray() = default;
    explicit AlignedArray (size_t count) { reset (count); }

    AlignedArray (AlignedArray&& other) noexcept
        : storage (std::move (other.storage)), length (std::exchange (other.length, 0))
    {
    }

    AlignedArray& operator= (AlignedArray&& other) noexcept
    {
        storage = std::move (other.storage);
        length = std::exchange (other.length, 0);
        return *this;
    }

    // Replaces the storage with `count` zeroed elements (or none). Throws std::bad_alloc.
    void reset (size_t count = 0)
    {
        storage.reset();
        length = 0;
        if (count == 0)
            return;
        if (count > (SIZE_MAX - alignment) / sizeof (T))
            throw std::bad_alloc();
        const size_t bytes = (count * sizeof (T) + alignment - 1) / alignment * alignment;
        void* raw = std::aligned_alloc (alignment, bytes);
        if (raw == nullptr)
            throw std::bad_alloc();
        std::memset (raw, 0, bytes);
        storage.reset (static_cast<T*> (raw));
        length = count;
    }

    size_t size() const noexcept { return length; }
    bool empty() const noexcept { return length == 0; }
    T* data() noexcept { return storage.get(); }
    const T* data() const noexcept { return storage.get(); }
    T& operator[] (size_t index) noexcept { return storage.get()[index]; }
    const T& operator[] (size_t index) const noexcept { return storage.get()[index]; }

private:
    struct FreeDeleter
    {
        void operator() (T* p) const noexcept { std::free (p); }
    };

    std::unique_ptr<T, FreeDeleter> storage;
    size_t length = 0;
};
