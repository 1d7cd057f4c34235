#include "models/ModelLoading.h"

#include "models/ModelFileReading.h"
#include "models/ModelValidation.h"
#include "models/NetworkBuilding.h"
#include "models/PositionSelection.h"

#include <algorithm>
#include <new>

ModelLoadResult loadModelFileIntoState (BlockModelState& m, const BlockShape& shape,
                                        std::shared_ptr<const BaseModelFileF> file)
{
    if (file == nullptr)
        return ModelLoadResult::failure ("no model file was given");
    const uint32_t nv = shape.numNonlinearInputs;
    const uint32_t ni = shape.numNonlinearOutputs;
    if (auto status = validateModelFile (*file, nv, ni, shape.numStates); !status.ok)
        return status;

    try
    {
        BlockModelState staged;
        staged.shape = shape;
        staged.usesPca = file->usesPca() ? 1 : 0;
        uint64_t regionCount = 0;
        if (const auto* pca = dynamic_cast<const PCAModelFileF*> (file.get()))
        {
            staged.positionCount = pca->models[0].positionCount();
            for (const auto& position : pca->models[0].positions)
                regionCount += position.netCount();
        }
        else if (const auto* standard = dynamic_cast<const ModelFileF*> (file.get()))
        {
            staged.positionCount = standard->models[0].positionCount();
            for (const auto& position : standard->models[0].positions)
                regionCount += position.netCount();
        }
        if (regionCount > UINT32_MAX)
            return ModelLoadResult::failure (file->name() + ": holds too many nets");
        staged.regionCount = static_cast<uint32_t> (regionCount);
        staged.modelName = file->name();
        staged.modelFile = std::move (file);
        staged.inputMask.reset (nv);
        staged.outputMask.reset (ni);

        // Only the position in use gets networks; the file stays shared and read-only.
        staged.selectedPosition = std::min (m.selectedPosition, staged.positionCount - 1);
        if (auto status = buildRegionNetworks (staged); !status.ok)
            return status;

        m = std::move (staged);
        selectPosition (m, m.selectedPosition);
    }
    catch (const std::bad_alloc&)
    {
        return ModelLoadResult::failure ("a model needs more memory than is available");
    }
    return ModelLoadResult::success();
}

ModelLoadResult loadModelIntoState (BlockModelState& m, const BlockShape& shape, const std::string& path,
                                    bool usesPca)
{
    auto read =
        readModelFile (path, usesPca, shape.numNonlinearInputs, shape.numNonlinearOutputs, shape.numStates);
    if (!read.status.ok)
        return read.status;
    return loadModelFileIntoState (m, shape, std::move (read.file));
}

ModelLoadResult loadModelImageIntoState (BlockModelState& m, const BlockShape& shape, const void* image,
                                         size_t length, bool usesPca)
{
    auto read = readModelImage (image, length, usesPca, shape.numNonlinearInputs, shape.numNonlinearOutputs,
                                shape.numStates);
    if (!read.status.ok)
        return read.status;
    return loadModelFileIntoState (m, shape, std::move (read.file));
}
