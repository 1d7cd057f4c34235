#include "models/ModelFile.h"

#include "models/ModelByteIO.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
constexpr uint64_t saturated = std::numeric_limits<uint64_t>::max();

uint64_t saturatingAdd (uint64_t a, uint64_t b)
{
    return a > saturated - b ? saturated : a + b;
}

// Progress lines print counts with %d, as 32-bit values.
int asPrinted (uint64_t value)
{
    return static_cast<int> (static_cast<uint32_t> (value));
}

uint32_t asU32 (uint64_t value)
{
    return static_cast<uint32_t> (value);
}

bool fitsU32 (size_t value)
{
    return value <= std::numeric_limits<uint32_t>::max();
}

// Shared by both net kinds: the four box arrays and the two output arrays, in file order.
template <typename Net>
bool parseBoxAndScaling (ModelByteSource& source, Net& net)
{
    return source.u32 (net.chunkSize, "chunkSize of a net") && source.u32 (net.netTag, "netTag") &&
           source.array (net.lowerBound, net.inputCount, "lowerBound values") &&
           source.array (net.upperBound, net.inputCount, "upperBound values") &&
           source.array (net.inputMin, net.inputCount, "inputMin values") &&
           source.array (net.inputMax, net.inputCount, "inputMax values") &&
           source.array (net.outputMin, net.outputCount, "outputMin values") &&
           source.array (net.outputMax, net.outputCount, "outputMax values");
}

template <typename Net>
void writeBoxAndScaling (ModelByteSink& sink, const Net& net)
{
    sink.u32 (net.chunkSize);
    sink.u32 (net.netTag);
    sink.array (net.lowerBound);
    sink.array (net.upperBound);
    sink.array (net.inputMin);
    sink.array (net.inputMax);
    sink.array (net.outputMin);
    sink.array (net.outputMax);
}

bool parseTrailer (ModelByteSource& source, std::array<uint32_t, 4>& trailer)
{
    std::vector<uint32_t> words;
    if (!source.array (words, trailer.size(), "netTrailer"))
        return false;
    std::copy (words.begin(), words.end(), trailer.begin());
    return true;
}

void writeTrailer (ModelByteSink& sink, const std::array<uint32_t, 4>& trailer)
{
    sink.array (std::vector<uint32_t> (trailer.begin(), trailer.end()));
}

// The weights follow the layer sizes; their count is derived, never stored, and may be absurd in
// a corrupt file, so it is checked against the remaining bytes like any stored count.
template <typename Net>
bool parseWeights (ModelByteSource& source, Net& net)
{
    return source.array (net.weights, net.weightCount(), "weights");
}

template <typename Net>
std::string checkBoxArrays (const Net& net)
{
    const size_t nIn = net.inputCount;
    const size_t nOut = net.outputCount;
    if (net.lowerBound.size() != nIn || net.upperBound.size() != nIn || net.inputMin.size() != nIn ||
        net.inputMax.size() != nIn)
        return "a net's box arrays do not hold " + std::to_string (nIn) + " inputs";
    if (net.outputMin.size() != nOut || net.outputMax.size() != nOut)
        return "a net's output arrays do not hold " + std::to_string (nOut) + " outputs";
    if (!fitsU32 (net.hiddenSizes.size()))
        return "a net has too many hidden layers";
    if (net.weights.size() != net.weightCount())
        return "a net holds " + std::to_string (net.weights.size()) + " weights where its layers need " +
               std::to_string (net.weightCount());
    return {};
}
} // namespace

uint64_t networkWeightCount (uint32_t inputCount, const std::vector<uint32_t>& hiddenSizes,
                             uint32_t outputCount)
{
    uint64_t total = 0;
    uint64_t source = inputCount;
    for (const uint32_t size : hiddenSizes)
    {
        total = saturatingAdd (total, (source + 1) * size);
        source = size;
    }
    return saturatingAdd (total, (source + 1) * outputCount);
}

namespace
{
template <typename Net>
void sizeArrays (Net& net, uint32_t inputs, std::vector<uint32_t> hidden, uint32_t outputs)
{
    net.inputCount = inputs;
    net.outputCount = outputs;
    for (auto* values : {&net.lowerBound, &net.upperBound, &net.inputMin, &net.inputMax})
        values->assign (inputs, 0.0f);
    net.outputMin.assign (outputs, 0.0f);
    net.outputMax.assign (outputs, 0.0f);
    net.hiddenSizes = std::move (hidden);
    net.weights.assign (static_cast<size_t> (net.weightCount()), 0.0f);
}
} // namespace

NetRecord NetRecord::sized (uint32_t inputs, std::vector<uint32_t> hidden, uint32_t outputs)
{
    NetRecord net;
    sizeArrays (net, inputs, std::move (hidden), outputs);
    return net;
}

PCANetRecord PCANetRecord::sized (uint32_t inputs, std::vector<uint32_t> hidden, uint32_t outputs)
{
    PCANetRecord net;
    sizeArrays (net, inputs, std::move (hidden), outputs);
    net.hiddenNeuronSteepness.assign (static_cast<size_t> (net.hiddenNeuronCount()), 0.5f);
    net.outputNeuronSteepness.assign (outputs, 0.5f);
    return net;
}

uint64_t PCANetRecord::hiddenNeuronCount() const
{
    uint64_t total = 0;
    for (const uint32_t size : hiddenSizes)
        total = saturatingAdd (total, size);
    return total;
}

// ----------------------------------------------------------------------------------------------

BaseModelFileF::~BaseModelFileF()
{
    if (handle != nullptr)
        std::fclose (handle);
}

FILE* BaseModelFileF::openHandle (const char* path, const char* mode)
{
    if (handle != nullptr)
        std::fclose (handle);
    handle = nullptr;
    fileName = path != nullptr ? path : "";
    if (path == nullptr)
    {
        lastStatus = ModelLoadResult::failure ("a model file without a path cannot be opened");
        return nullptr;
    }
    if (mode[0] == 'r')
        return openForReading (path, mode);
    handle = std::fopen (path, mode);
    if (handle == nullptr)
        lastStatus =
            ModelLoadResult::failure (fileName + ": could not be opened (" + std::strerror (errno) + ")");
    else
        lastStatus = ModelLoadResult::success();
    return handle;
}

// Opening a FIFO or a device for reading can wait for ever (a FIFO blocks until a writer comes),
// so the file is opened without blocking and must prove to be a regular file before a single
// byte is read; only then is it switched back to ordinary blocking reads.
FILE* BaseModelFileF::openForReading (const char* path, const char* mode)
{
    const int fd = ::open (path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
    {
        lastStatus =
            ModelLoadResult::failure (fileName + ": could not be opened (" + std::strerror (errno) + ")");
        return nullptr;
    }
    struct stat info
    {
    };
    if (fstat (fd, &info) != 0 || !S_ISREG (info.st_mode))
    {
        ::close (fd);
        lastStatus = ModelLoadResult::failure (fileName + ": is not a regular file");
        return nullptr;
    }
    const int flags = fcntl (fd, F_GETFL);
    if (flags >= 0)
        fcntl (fd, F_SETFL, flags & ~O_NONBLOCK);
    handle = fdopen (fd, mode);
    if (handle == nullptr)
    {
        lastStatus =
            ModelLoadResult::failure (fileName + ": could not be opened (" + std::strerror (errno) + ")");
        ::close (fd);
        return nullptr;
    }
    lastStatus = ModelLoadResult::success();
    return handle;
}

int BaseModelFileF::closeHandle()
{
    if (handle == nullptr)
        return EOF;
    const int result = std::fclose (handle);
    handle = nullptr;
    return result;
}

uint32_t BaseModelFileF::readFromHandle()
{
    if (handle == nullptr)
    {
        lastStatus = ModelLoadResult::failure (fileName + ": was not opened");
        return 0;
    }
    struct stat info
    {
    };
    if (fstat (fileno (handle), &info) != 0 || !S_ISREG (info.st_mode))
    {
        lastStatus = ModelLoadResult::failure (fileName + ": is not a regular file");
        return 0;
    }
    const long start = std::ftell (handle);
    const uint64_t size = static_cast<uint64_t> (info.st_size);
    const uint64_t offset = start > 0 ? static_cast<uint64_t> (start) : 0;
    ModelByteSource source (handle, offset < size ? size - offset : 0);
    parse (source);
    lastStatus = source.failed() ? ModelLoadResult::failure (fileName + ": " + source.failure())
                                 : ModelLoadResult::success();
    return asU32 (source.elements());
}

uint32_t BaseModelFileF::writeToHandle()
{
    if (handle == nullptr)
    {
        lastStatus = ModelLoadResult::failure (fileName + ": was not opened for writing");
        return 0;
    }
    lastStatus = checkWritable();
    if (!lastStatus.ok)
        return 0;
    recomputeSizeFields();
    ModelByteSink sink (handle);
    serialise (sink, printProgress);
    if (sink.failed())
        lastStatus = ModelLoadResult::failure (fileName + ": could not be written completely");
    return asU32 (sink.elements());
}

std::vector<uint8_t> BaseModelFileF::writeToMemory()
{
    std::vector<uint8_t> image;
    lastStatus = checkWritable();
    if (!lastStatus.ok)
        return image;
    recomputeSizeFields();
    ModelByteSink sink (image);
    serialise (sink, false);
    return image;
}

// ---------------------------------------------------------------------------------- standard kind

ModelFileF::~ModelFileF() = default;

void ModelFileF::setModelCount (uint32_t count)
{
    models.clear();
    models.resize (count);
}

uint32_t ModelFileF::readFromMemory (const void* image, size_t length)
{
    ModelByteSource source (static_cast<const uint8_t*> (image), image != nullptr ? length : 0);
    parse (source);
    lastStatus = source.failed() ? ModelLoadResult::failure (fileName + ": " + source.failure())
                                 : ModelLoadResult::success();
    if (printProgress)
    {
        uint32_t chunkSum = 0;
        for (const auto& model : models)
            chunkSum += model.chunkSize;
        std::printf ("Readed %d, chunk size %d\n", asPrinted (source.offset()), asPrinted (chunkSum + 1u));
    }
    return asU32 (source.offset());
}

void ModelFileF::parse (ModelByteSource& source)
{
    uint32_t count = 0;
    if (!source.u32 (count, "modelCount") || !source.fits (count, 24, "models"))
        return;
    setModelCount (count);

    for (auto& model : models)
    {
        uint32_t positionCount = 0;
        if (!(source.u32 (model.chunkSize, "chunkSize of a model") &&
              source.u32 (model.headerSize, "headerSize") && source.u32 (model.inputCount, "inputCount") &&
              source.u32 (model.outputCount, "outputCount") && source.u32 (positionCount, "positionCount") &&
              source.u32 (model.tableLength, "tableLength")))
            return;
        if (!source.fits (positionCount, 16 + 8 * uint64_t (model.tableLength), "positions"))
            return;
        model.positions.resize (positionCount);
        for (auto& position : model.positions)
        {
            position.inputCount = model.inputCount;
            position.outputCount = model.outputCount;
            position.tableLength = model.tableLength;
            position.rateTable.assign (model.tableLength, 0.0);
        }

        const uint64_t smallestNet = 36 + 16 * uint64_t (model.inputCount) + 8 * uint64_t (model.outputCount);
        for (auto& position : model.positions)
        {
            uint32_t netCount = 0;
            if (!(source.u32 (position.chunkSize, "chunkSize of a position") &&
                  source.u32 (position.headerSize, "headerSize") &&
                  source.u32 (position.positionTag, "positionTag") && source.u32 (netCount, "netCount")))
                return;
            if (position.tableLength > 0 &&
                !source.array (position.rateTable, position.tableLength, "rateTable values"))
                return;
            if (!source.fits (netCount, smallestNet, "nets"))
                return;
            position.nets.resize (netCount);
            for (auto& net : position.nets)
            {
                net.inputCount = position.inputCount;
                net.outputCount = position.outputCount;
                if (!(parseBoxAndScaling (source, net) &&
                      source.f32 (net.hiddenSteepness, "hiddenSteepness") &&
                      source.f32 (net.outputSteepness, "outputSteepness")))
                    return;
                uint32_t layerCount = 0;
                if (!(source.u32 (layerCount, "hiddenLayerCount") &&
                      source.array (net.hiddenSizes, layerCount, "hidden layers") &&
                      parseWeights (source, net) && parseTrailer (source, net.netTrailer)))
                    return;
            }
        }
    }
}

ModelLoadResult ModelFileF::checkWritable() const
{
    auto refuse = [this] (const std::string& why)
    { return ModelLoadResult::failure (fileName + ": " + why); };
    if (!fitsU32 (models.size()))
        return refuse ("too many models");
    for (const auto& model : models)
    {
        if (!fitsU32 (model.positions.size()))
            return refuse ("too many positions");
        for (const auto& position : model.positions)
        {
            if (position.inputCount != model.inputCount || position.outputCount != model.outputCount ||
                position.tableLength != model.tableLength)
                return refuse ("a position's counts differ from its model's");
            if (position.rateTable.size() != model.tableLength)
                return refuse ("a rate table does not hold tableLength values");
            if (!fitsU32 (position.nets.size()))
                return refuse ("too many nets");
            for (const auto& net : position.nets)
            {
                if (net.inputCount != model.inputCount || net.outputCount != model.outputCount)
                    return refuse ("a net's counts differ from its model's");
                if (const auto why = checkBoxArrays (net); !why.empty())
                    return refuse (why);
            }
        }
    }
    return ModelLoadResult::success();
}

void ModelFileF::recomputeSizeFields()
{
    for (auto& model : models)
    {
        uint64_t modelChunk = 20;
        for (auto& position : model.positions)
        {
            uint64_t positionChunk = 40;
            for (auto& net : position.nets)
            {
                net.chunkSize =
                    asU32 (36 + 4 * (4 * uint64_t (net.inputCount) + 2 * uint64_t (net.outputCount) +
                                     net.hiddenLayerCount() + net.weightCount()));
                positionChunk += net.chunkSize;
            }
            position.headerSize = 40;
            position.chunkSize = asU32 (positionChunk);
            modelChunk += position.chunkSize;
        }
        model.headerSize = 20;
        model.chunkSize = asU32 (modelChunk);
    }
}

void ModelFileF::serialise (ModelByteSink& sink, bool withProgress)
{
    sink.u32 (modelCount());
    uint32_t chunkSum = 0;
    for (const auto& model : models)
    {
        const uint64_t modelStart = sink.elements();
        sink.u32 (model.chunkSize);
        sink.u32 (model.headerSize);
        sink.u32 (model.inputCount);
        sink.u32 (model.outputCount);
        sink.u32 (model.positionCount());
        sink.u32 (model.tableLength);
        for (const auto& position : model.positions)
        {
            const uint64_t positionStart = sink.elements();
            sink.u32 (position.chunkSize);
            sink.u32 (position.headerSize);
            sink.u32 (position.positionTag);
            sink.u32 (position.netCount());
            sink.array (position.rateTable);
            for (const auto& net : position.nets)
            {
                writeBoxAndScaling (sink, net);
                sink.f32 (net.hiddenSteepness);
                sink.f32 (net.outputSteepness);
                sink.u32 (net.hiddenLayerCount());
                sink.array (net.hiddenSizes);
                sink.array (net.weights);
                writeTrailer (sink, net.netTrailer);
            }
            if (withProgress)
                std::printf ("\t\tWrited %d, chunk size %d\n", asPrinted (sink.elements() - positionStart),
                             asPrinted (position.chunkSize));
        }
        if (withProgress)
            std::printf ("\tWrited %d, chunk size %d\n", asPrinted (sink.elements() - modelStart),
                         asPrinted (model.chunkSize));
        chunkSum += model.chunkSize;
    }
    if (withProgress)
        std::printf ("Writed %d, chunk size %d\n", asPrinted (sink.elements()), asPrinted (chunkSum + 1u));
}

// ---------------------------------------------------------------------------------- pca kind

PCAModelFileF::~PCAModelFileF() = default;

void PCAModelFileF::setModelCount (uint32_t count)
{
    models.clear();
    models.resize (count);
}

uint32_t PCAModelFileF::readFromMemory (const void* image, size_t length)
{
    ModelByteSource source (static_cast<const uint8_t*> (image), image != nullptr ? length : 0);
    parse (source);
    lastStatus = source.failed() ? ModelLoadResult::failure (fileName + ": " + source.failure())
                                 : ModelLoadResult::success();
    return asU32 (source.offset());
}

void PCAModelFileF::parse (ModelByteSource& source)
{
    uint32_t count = 0;
    if (!source.u32 (count, "modelCount") || !source.fits (count, 16, "models"))
        return;
    setModelCount (count);

    for (auto& model : models)
    {
        uint32_t positionCount = 0;
        if (!(source.u32 (model.chunkSize, "chunkSize of a model") &&
              source.u32 (model.headerSize, "headerSize") && source.u32 (positionCount, "positionCount") &&
              source.u32 (model.tableLength, "tableLength")))
            return;
        if (!source.fits (positionCount, 40 + 8 * uint64_t (model.tableLength), "positions"))
            return;
        model.positions.resize (positionCount);
        for (auto& position : model.positions)
        {
            position.tableLength = model.tableLength;
            position.rateTable.assign (model.tableLength, 0.0);
        }

        for (auto& position : model.positions)
        {
            uint32_t netCount = 0, inputMaskLength = 0, outputMaskLength = 0;
            if (!(source.u32 (position.chunkSize, "chunkSize of a position") &&
                  source.u32 (position.headerSize, "headerSize") &&
                  source.u32 (position.positionTag, "positionTag") && source.u32 (netCount, "netCount") &&
                  source.u32 (inputMaskLength, "inputMaskLength") &&
                  source.u32 (outputMaskLength, "outputMaskLength") &&
                  source.u32 (position.projectionRows, "projectionRows") &&
                  source.u32 (position.outputProjectionCount, "outputProjectionCount") &&
                  source.u32 (position.netInputCount, "netInputCount") &&
                  source.u32 (position.netOutputCount, "netOutputCount")))
                return;
            const uint64_t projectionCount = uint64_t (position.projectionRows) * position.netInputCount;
            const uint64_t outputProjectionCount =
                uint64_t (position.netOutputCount) * position.outputProjectionCount;
            if (!(source.array (position.inputMask, inputMaskLength, "inputMask entries") &&
                  source.array (position.outputMask, outputMaskLength, "outputMask entries") &&
                  source.array (position.projection, projectionCount, "projection values") &&
                  source.array (position.outputProjection, outputProjectionCount, "outputProjection values")))
                return;
            if (position.tableLength > 0 &&
                !source.array (position.rateTable, position.tableLength, "rateTable values"))
                return;

            const uint64_t smallestNet =
                28 + 16 * uint64_t (position.netInputCount) + 12 * uint64_t (position.netOutputCount);
            if (!source.fits (netCount, smallestNet, "nets"))
                return;
            position.nets.resize (netCount);
            for (auto& net : position.nets)
            {
                net.inputCount = position.netInputCount;
                net.outputCount = position.netOutputCount;
                uint32_t layerCount = 0;
                if (!(parseBoxAndScaling (source, net) && source.u32 (layerCount, "hiddenLayerCount") &&
                      source.array (net.hiddenSizes, layerCount, "hidden layers") &&
                      source.array (net.hiddenNeuronSteepness, net.hiddenNeuronCount(),
                                    "hidden steepness values") &&
                      source.array (net.outputNeuronSteepness, net.outputCount, "output steepness values") &&
                      parseWeights (source, net) && parseTrailer (source, net.netTrailer)))
                    return;
            }
        }
    }
}

ModelLoadResult PCAModelFileF::checkWritable() const
{
    auto refuse = [this] (const std::string& why)
    { return ModelLoadResult::failure (fileName + ": " + why); };
    if (!fitsU32 (models.size()))
        return refuse ("too many models");
    for (const auto& model : models)
    {
        if (!fitsU32 (model.positions.size()))
            return refuse ("too many positions");
        for (const auto& position : model.positions)
        {
            if (position.tableLength != model.tableLength || position.rateTable.size() != model.tableLength)
                return refuse ("a rate table does not hold tableLength values");
            if (!fitsU32 (position.nets.size()) || !fitsU32 (position.inputMask.size()) ||
                !fitsU32 (position.outputMask.size()))
                return refuse ("a position's arrays are too long");
            if (position.projection.size() != uint64_t (position.projectionRows) * position.netInputCount)
                return refuse ("a projection does not hold projectionRows x netInputCount values");
            if (position.outputProjection.size() !=
                uint64_t (position.netOutputCount) * position.outputProjectionCount)
                return refuse (
                    "an outputProjection does not hold netOutputCount x outputProjectionCount values");
            for (const auto& net : position.nets)
            {
                if (net.inputCount != position.netInputCount || net.outputCount != position.netOutputCount)
                    return refuse ("a net's counts differ from its position's");
                if (const auto why = checkBoxArrays (net); !why.empty())
                    return refuse (why);
                if (net.hiddenNeuronSteepness.size() != net.hiddenNeuronCount() ||
                    net.outputNeuronSteepness.size() != net.outputCount)
                    return refuse ("a net's steepness arrays do not match its layers");
            }
        }
    }
    return ModelLoadResult::success();
}

void PCAModelFileF::recomputeSizeFields()
{
    for (auto& model : models)
    {
        uint64_t modelChunk = 16;
        for (auto& position : model.positions)
        {
            const uint64_t header =
                40 + 4 * (uint64_t (position.inputMaskLength()) + position.outputMaskLength()) +
                8 * (position.projection.size() + position.outputProjection.size() + position.tableLength);
            uint64_t positionChunk = header;
            for (auto& net : position.nets)
            {
                net.chunkSize =
                    asU32 (36 + 4 * (4 * uint64_t (net.inputCount) + 3 * uint64_t (net.outputCount) +
                                     net.hiddenLayerCount() + net.hiddenNeuronCount() + net.weightCount()));
                positionChunk += net.chunkSize;
            }
            position.headerSize = asU32 (header);
            position.chunkSize = asU32 (positionChunk);
            modelChunk += position.chunkSize;
        }
        model.headerSize = 16;
        model.chunkSize = asU32 (modelChunk);
    }
}

void PCAModelFileF::serialise (ModelByteSink& sink, bool /*withProgress: this kind prints nothing*/)
{
    sink.u32 (modelCount());
    for (const auto& model : models)
    {
        sink.u32 (model.chunkSize);
        sink.u32 (model.headerSize);
        sink.u32 (model.positionCount());
        sink.u32 (model.tableLength);
        for (const auto& position : model.positions)
        {
            sink.u32 (position.chunkSize);
            sink.u32 (position.headerSize);
            sink.u32 (position.positionTag);
            sink.u32 (position.netCount());
            sink.u32 (position.inputMaskLength());
            sink.u32 (position.outputMaskLength());
            sink.u32 (position.projectionRows);
            sink.u32 (position.outputProjectionCount);
            sink.u32 (position.netInputCount);
            sink.u32 (position.netOutputCount);
            sink.array (position.inputMask);
            sink.array (position.outputMask);
            sink.array (position.projection);
            sink.array (position.outputProjection);
            sink.array (position.rateTable);
            for (const auto& net : position.nets)
            {
                writeBoxAndScaling (sink, net);
                sink.u32 (net.hiddenLayerCount());
                sink.array (net.hiddenSizes);
                sink.array (net.hiddenNeuronSteepness);
                sink.array (net.outputNeuronSteepness);
                sink.array (net.weights);
                writeTrailer (sink, net.netTrailer);
            }
        }
    }
}
