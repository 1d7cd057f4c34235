#include "models/ModelFileReading.h"

#include "models/ModelValidation.h"

#include <new>

ModelFileReadResult readModelFile (const std::string& path, bool usesPca, uint32_t nv, uint32_t ni,
                                   uint32_t nx)
{
    ModelFileReadResult result;
    try
    {
        std::unique_ptr<BaseModelFileF> file = makeModelFile (usesPca);
        if (file->openRead (path.c_str()) == nullptr)
        {
            result.status = file->status();
            return result;
        }
        file->read();
        file->close();
        result.status = validateModelFile (*file, nv, ni, nx);
        if (result.status.ok)
            result.file = std::move (file);
    }
    catch (const std::bad_alloc&)
    {
        result.status = ModelLoadResult::failure (path + ": needs more memory than is available");
    }
    return result;
}

ModelFileReadResult readModelImage (const void* image, size_t length, bool usesPca, uint32_t nv, uint32_t ni,
                                    uint32_t nx, const std::string& name)
{
    ModelFileReadResult result;
    try
    {
        std::unique_ptr<BaseModelFileF> file = makeModelFile (usesPca);
        file->setName (name);
        file->printProgress = false;
        file->readFromMemory (image, length);
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
