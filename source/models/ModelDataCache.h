#pragma once

#include "models/ModelFile.h"
#include "models/ModelLoadResult.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>

// A model file read and validated once per process and shared read-only by every block, chain
// and instance that loads the same file: a file holds thousands of positions, and reading and
// parsing it is most of what a load costs.
//
// A file is known by its identity on disk (device, inode, size, modification and change times)
// together with the block shape it was validated for, so a file replaced or rewritten in place is
// read again. The cache holds its entries weakly: the data lives as long as some block uses it.
// Safe from several threads; two threads that miss at once may both read, and the first to
// finish is the copy both keep.
class NetworkLibrary;

struct SharedModelFile
{
    std::shared_ptr<const BaseModelFileF> file;        // null unless status.ok
    std::shared_ptr<const NetworkLibrary> networks; // the file's region tables, for a block of its shape
    ModelLoadResult status;
};

class ModelDataCache
{
public:
    static ModelDataCache& instance();

    // Opens the path without blocking (anything but a regular file is refused), then answers the
    // shared copy of that file, reading and validating it for a block with nv nonlinear inputs,
    // ni port currents and nx states only when no live copy exists.
    SharedModelFile acquire (const std::string& path, bool usesPca, uint32_t nv, uint32_t ni, uint32_t nx);

    // How many files were read and parsed so far (refused ones too), and how many copies are
    // alive now.
    uint64_t readCount() const;
    size_t liveCount() const;

private:
    using Key = std::tuple<uint64_t, uint64_t, int64_t, int64_t, int64_t, int64_t, int64_t, bool, uint32_t,
                           uint32_t, uint32_t>;

    void forgetExpired();

    mutable std::mutex lock;
    std::map<Key, std::weak_ptr<const BaseModelFileF>> entries;
    std::atomic<uint64_t> reads{0};
};
