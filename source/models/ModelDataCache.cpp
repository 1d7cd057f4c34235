#include "models/ModelDataCache.h"

#include "models/ModelValidation.h"
#include "models/NetworkLibrary.h"

#include <new>
#include <sys/stat.h>

ModelDataCache& ModelDataCache::instance()
{
    static ModelDataCache cache;
    return cache;
}

namespace
{
// The file's network library is built here, while the audio runs on, not when a block takes the
// file with processing suspended; holding it keeps it alive until then.
SharedModelFile& attachNetworks (SharedModelFile& result, uint32_t ni)
{
    if (!result.status.ok || result.file == nullptr)
        return result;
    ModelLoadResult status;
    result.networks = NetworkLibrary::forFile (result.file, ni, status);
    if (result.networks == nullptr)
    {
        result.file.reset();
        result.status = status;
    }
    return result;
}
} // namespace

SharedModelFile ModelDataCache::acquire (const std::string& path, bool usesPca, uint32_t nv, uint32_t ni,
                                         uint32_t nx)
{
    SharedModelFile result;
    bool hit = false;
    try
    {
        std::unique_ptr<BaseModelFileF> file = makeModelFile (usesPca);
        FILE* handle = file->openRead (path.c_str());
        if (handle == nullptr)
        {
            result.status = file->status();
            return result;
        }

        // The identity of the file just opened, not of whatever the path names a moment later.
        struct stat info
        {
        };
        if (fstat (fileno (handle), &info) != 0)
        {
            file->close();
            result.status = ModelLoadResult::failure (path + ": cannot be examined");
            return result;
        }
        const Key key{static_cast<uint64_t> (info.st_dev),
                      static_cast<uint64_t> (info.st_ino),
                      static_cast<int64_t> (info.st_size),
                      static_cast<int64_t> (info.st_mtim.tv_sec),
                      static_cast<int64_t> (info.st_mtim.tv_nsec),
                      static_cast<int64_t> (info.st_ctim.tv_sec),
                      static_cast<int64_t> (info.st_ctim.tv_nsec),
                      usesPca,
                      nv,
                      ni,
                      nx};
        {
            const std::lock_guard<std::mutex> guard (lock);
            const auto found = entries.find (key);
            if (found != entries.end())
                if (auto live = found->second.lock())
                {
                    file->close();
                    result.file = std::move (live);
                    result.status = ModelLoadResult::success();
                    hit = true;
                }
        }
        if (hit)
            return attachNetworks (result, ni);

        file->read();
        file->close();
        reads.fetch_add (1, std::memory_order_relaxed);
        result.status = validateModelFile (*file, nv, ni, nx);
        if (!result.status.ok)
            return result;
        std::shared_ptr<const BaseModelFileF> shared (std::move (file));

        const std::lock_guard<std::mutex> guard (lock);
        forgetExpired();
        auto& entry = entries[key];
        if (auto live = entry.lock())
            shared = std::move (live); // another thread finished first: keep one copy
        else
            entry = shared;
        result.file = std::move (shared);
    }
    catch (const std::bad_alloc&)
    {
        result.file.reset();
        result.status = ModelLoadResult::failure (path + ": needs more memory than is available");
        return result;
    }
    return attachNetworks (result, ni);
}

uint64_t ModelDataCache::readCount() const
{
    return reads.load (std::memory_order_relaxed);
}

size_t ModelDataCache::liveCount() const
{
    const std::lock_guard<std::mutex> guard (lock);
    size_t live = 0;
    for (const auto& [key, entry] : entries)
        live += entry.expired() ? 0 : 1;
    return live;
}

void ModelDataCache::forgetExpired()
{
    for (auto it = entries.begin(); it != entries.end();)
        it = it->second.expired() ? entries.erase (it) : std::next (it);
}
