#pragma once

#include <atomic>

// Counts every global operator new of the test binary, so a test can prove that a code path
// does not allocate.
std::atomic<long>& allocationCount();

class AllocationProbe
{
public:
    AllocationProbe() : start (allocationCount().load()) {}
    long allocations() const { return allocationCount().load() - start; }

private:
    long start;
};
