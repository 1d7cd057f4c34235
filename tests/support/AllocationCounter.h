#pragma once

#include <cstddef>

// Counts heap allocations (the malloc family, and through it operator new) made by any thread
// between start and stop. Link the varkel_allocation_counter library into the test binary.
extern "C"
{
    void allocationCounterStart();
    std::size_t allocationCounterStop(); // allocations since the start
}
