#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

// A fixed-size float array on a 16-byte boundary, zero-filled, for data that 4-lane SSE loads
// read with aligned instructions. Sized once; never resized on the audio path.
class AlignedFloatBuffer
{
public:
    static constexpr std::size_t alignment = 16;

    AlignedFloatBuffer() = default;

    explicit AlignedFloatBuffer (std::size_t count) : size_ (count)
    {
        // aligned_alloc wants a size that is a multiple of the alignment.
        const std::size_t bytes = ((count * sizeof (float) + alignment - 1) / alignment) * alignment;
        void* raw = std::aligned_alloc (alignment, bytes == 0 ? alignment : bytes);
        if (raw == nullptr)
            throw std::bad_alloc();
        data_.reset (static_cast<float*> (raw));
        for (std::size_t k = 0; k < count; ++k)
            data_[k] = 0.0f;
    }

    float* data() noexcept { return data_.get(); }
    const float* data() const noexcept { return data_.get(); }
    std::size_t size() const noexcept { return size_; }

    float& operator[] (std::size_t k) noexcept { return data_[k]; }
    float operator[] (std::size_t k) const noexcept { return data_[k]; }

private:
    struct FreeDeleter
    {
        void operator() (float* p) const noexcept { std::free (p); }
    };

    std::unique_ptr<float[], FreeDeleter> data_;
    std::size_t size_ = 0;
};
