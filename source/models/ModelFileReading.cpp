#include "models/ModelFileReading.h"

#include "models/ModelValidation.h"

#include <new>

namespace
{
// Makes a file object of the kind, fills it with `read` (false: the file could not be opened, and
// its status says why) and keeps it only when it fits the block's counts. Running out of memory
// anywhere in that is a refusal naming `name`, never an exception.
template <typename Read>
ModelFileReadResult readAndValidate (const std::string& name, bool usesPca, uint32_t nv, uint32_t ni,
                                     uint32_t nx, Read read)
{
    ModelFileReadResult result;
    try
    {
        std::unique_ptr<BaseModelFileF> file = makeModelFile (usesPca);
        if (!read (*file))
        {
            result.status = file->status();
            return result;
        }
        result.status = validateModelFile (*file, nv, ni, nx);
        if (result.status.ok)
            result.file = std::move (file);
    }
    catch (const std::bad_alloc&)
    {
        result.status = ModelLoadResult::failure (name + ": needs more memory than is available");
    }
    return result;
}
} // namespace

ModelFileReadResult readModelFile (const std::string& path, bool usesPca, uint32_t nv, uint32_t ni,
                                   uint32_t nx)
{
    return readAndValidate (path, usesPca, nv, ni, nx,
                            [&] (BaseModelFileF& file)
                            {
                                if (file.openRead (path.c_str()) == nullptr)
                                    return false;
                                file.read();
                                file.close();
                                return true;
                            });
}

ModelFileReadResult readModelImage (const void* image, size_t length, bool usesPca, uint32_t nv, uint32_t ni,
                                    uint32_t nx, const std::string& name)
{
    return readAndValidate (name, usesPca, nv, ni, nx,
                            [&] (BaseModelFileF& file)
                            {
                                file.setName (name);
                                file.printProgress = false;
                                file.readFromMemory (image, length);
                                return true;
                            });
}
