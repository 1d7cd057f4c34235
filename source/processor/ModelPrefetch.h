#pragma once

#include "models/ModelDataCache.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Reads model files on a background thread of low priority and keeps them alive, so a later
// load of the same files (the other valve set, when the player switches to it) finds them read,
// validated and compiled in the process-wide cache instead of doing that work itself.
//
// Holding a file costs its memory once per process: every instance that prefetches the same
// files shares the cache's copy.
class ModelPrefetch
{
public:
    struct Request
    {
        std::string path;
        bool usesPca = false;
        uint32_t nv = 0, ni = 0, nx = 0;
        bool operator== (const Request& other) const
        {
            return path == other.path && usesPca == other.usesPca && nv == other.nv && ni == other.ni &&
                   nx == other.nx;
        }
    };

    ModelPrefetch() = default;
    ~ModelPrefetch();

    // Replaces what is held by the given files, read in order; returns at once. The same
    // requests again cost nothing. Waits only for the file being read at the time, if any.
    void start (std::vector<Request> requests);

    // Waits until every requested file is held (or refused): for tests and benches.
    void waitUntilDone();

private:
    void stop();
    void run();

    std::vector<Request> requested;
    std::thread worker;
    std::atomic<bool> stopping{false};
    std::mutex heldLock;
    std::vector<SharedModelFile> held;
};
