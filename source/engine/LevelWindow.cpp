#include "engine/LevelWindow.h"

#include <cstdlib>
#include <new>

void LevelWindow::AlignedDelete::operator() (float* p) const noexcept
{
    std::free (p);
}

LevelWindow::LevelWindow() : invLength (static_cast<float> (1.0 / length))
{
    void* raw = std::aligned_alloc (16, length * sizeof (float));
    if (raw == nullptr)
        throw std::bad_alloc();
    buffer.reset (static_cast<float*> (raw));
    for (uint32_t k = 0; k < length; ++k)
        buffer[k] = 0.0f;
    cursor = buffer.get() + (length - 1);
}
