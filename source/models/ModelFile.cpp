#include "models/ModelFile.h"

#include "models/ModelByteIO.h"
#include "models/ModelRecordSchema.h"

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

// Every walker takes what each record's walk hands it; the jobs differ only in what they do with a
// field. Hooks a job has no use for do nothing.
struct QuietHooks
{
    template <typename Record>
    void enter (const Record&)
    {
    }
    template <typename Record>
    void leave (const Record&)
    {
    }
};

// Reads the fields from a bounded source into a tree. A count is checked against the bytes that
// remain before anything is sized from it.
struct RecordReader : QuietHooks
{
    ModelByteSource& source;

    explicit RecordReader (ModelByteSource& s) : source (s) {}

    void word (uint32_t& v, const char* what) { source.u32 (v, what); }
    void real (float& v, const char* what) { source.f32 (v, what); }
    void length (uint32_t& n, size_t, const char* what) { source.u32 (n, what); }
    template <typename T>
    void values (std::vector<T>& v, uint64_t count, const char* what)
    {
        source.array (v, count, what);
    }
    void inherit (uint32_t& field, uint32_t parent, const char*) { field = parent; }
    void trailer (std::array<uint32_t, 4>& words)
    {
        std::vector<uint32_t> read;
        if (source.array (read, words.size(), "netTrailer"))
            std::copy (read.begin(), read.end(), words.begin());
    }
    template <typename Record, typename Walk>
    void children (std::vector<Record>& records, uint32_t n, uint64_t smallestBytes, const char* what,
                   Walk walk)
    {
        if (!source.fits (n, smallestBytes, what))
            return;
        records.clear();
        records.resize (n);
        for (auto& record : records)
        {
            if (source.failed())
                return;
            walk (record);
        }
    }
};

// Writes the fields of a checked tree.
struct RecordWriter : QuietHooks
{
    ModelByteSink& sink;

    explicit RecordWriter (ModelByteSink& s) : sink (s) {}

    void word (uint32_t v, const char*) { sink.u32 (v); }
    void real (float v, const char*) { sink.f32 (v); }
    void length (uint32_t n, size_t, const char*) { sink.u32 (n); }
    template <typename T>
    void values (const std::vector<T>& v, uint64_t, const char*)
    {
        sink.array (v);
    }
    void inherit (uint32_t, uint32_t, const char*) {}
    void trailer (const std::array<uint32_t, 4>& words)
    {
        sink.array (std::vector<uint32_t> (words.begin(), words.end()));
    }
    template <typename Records, typename Walk>
    void children (Records& records, uint32_t, uint64_t, const char*, Walk walk)
    {
        for (auto& record : records)
            walk (record);
    }
};

// Finds the first place where a tree disagrees with its own counts, before anything is written.
struct RecordChecker : QuietHooks
{
    std::string problem;

    void word (uint32_t, const char*) {}
    void real (float, const char*) {}
    void length (uint32_t, size_t current, const char* what)
    {
        if (!fitsU32 (current))
            fail (std::string ("too many entries for ") + what);
    }
    template <typename T>
    void values (const std::vector<T>& v, uint64_t count, const char* what)
    {
        if (v.size() != count)
            fail (std::string ("holds ") + std::to_string (v.size()) + " " + what +
                  " where its counts need " + std::to_string (count));
    }
    void inherit (uint32_t field, uint32_t parent, const char* what)
    {
        if (field != parent)
            fail (what);
    }
    void trailer (const std::array<uint32_t, 4>&) {}
    template <typename Records, typename Walk>
    void children (Records& records, uint32_t, uint64_t, const char* what, Walk walk)
    {
        length (0, records.size(), what);
        for (auto& record : records)
        {
            if (!problem.empty())
                return;
            walk (record);
        }
    }

    void fail (const std::string& why)
    {
        if (problem.empty())
            problem = why;
    }
};

// Counts the bytes of a record's own fields, not of its children: what the size fields are
// made of.
struct OwnBytes : QuietHooks
{
    uint64_t bytes = 0;

    void word (uint32_t, const char*) { bytes += 4; }
    void real (float, const char*) { bytes += 4; }
    void length (uint32_t, size_t, const char*) { bytes += 4; }
    template <typename T>
    void values (const std::vector<T>& v, uint64_t, const char*)
    {
        bytes += sizeof (T) * uint64_t (v.size());
    }
    void inherit (uint32_t, uint32_t, const char*) {}
    void trailer (const std::array<uint32_t, 4>&) { bytes += 16; }
    template <typename Records, typename Walk>
    void children (Records&, uint32_t, uint64_t, const char*, Walk)
    {
    }
};

template <typename Record, typename Walk>
uint64_t ownBytes (const Record& record, Walk walk)
{
    OwnBytes counter;
    walk (counter, record);
    return counter.bytes;
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
    RecordReader reader (source);
    modelschema::walkStandardFile (reader, models);
}

namespace
{
template <typename Walker>
ModelLoadResult checkTree (const std::string& fileName, Walker walk)
{
    RecordChecker checker;
    walk (checker);
    return checker.problem.empty() ? ModelLoadResult::success()
                                   : ModelLoadResult::failure (fileName + ": " + checker.problem);
}
} // namespace

ModelLoadResult ModelFileF::checkWritable() const
{
    return checkTree (fileName, [this] (RecordChecker& c) { modelschema::walkStandardFile (c, models); });
}

// The standard kind's header sizes are fixed numbers, not byte counts: 20 for a model (its
// fields take 24 bytes) and 40 for a position whatever its rate table holds. A net's chunk is
// its own bytes.
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
                    asU32 (ownBytes (net, [] (auto& w, auto& n) { modelschema::walkStandardNet (w, n); }));
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

namespace
{
// The standard kind's writer reports each position, each model and the whole file as it goes:
// elements written and the chunk size stated.
struct ProgressWriter : RecordWriter
{
    using RecordWriter::enter;
    using RecordWriter::leave;
    using RecordWriter::RecordWriter;

    uint64_t positionStart = 0, modelStart = 0;

    void enter (const PositionRecord&) { positionStart = sink.elements(); }
    void leave (const PositionRecord& position)
    {
        std::printf ("\t\tWrited %d, chunk size %d\n", asPrinted (sink.elements() - positionStart),
                     asPrinted (position.chunkSize));
    }
    void enter (const ModelRecord&) { modelStart = sink.elements(); }
    void leave (const ModelRecord& model)
    {
        std::printf ("\tWrited %d, chunk size %d\n", asPrinted (sink.elements() - modelStart),
                     asPrinted (model.chunkSize));
    }
};
} // namespace

void ModelFileF::serialise (ModelByteSink& sink, bool withProgress)
{
    if (!withProgress)
    {
        RecordWriter writer (sink);
        modelschema::walkStandardFile (writer, models);
        return;
    }
    ProgressWriter writer (sink);
    modelschema::walkStandardFile (writer, models);
    uint32_t chunkSum = 0;
    for (const auto& model : models)
        chunkSum += model.chunkSize;
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
    RecordReader reader (source);
    modelschema::walkPcaFile (reader, models);
}

ModelLoadResult PCAModelFileF::checkWritable() const
{
    return checkTree (fileName, [this] (RecordChecker& c) { modelschema::walkPcaFile (c, models); });
}

// Header sizes of this kind are the bytes of the record's own fields; a net's chunk is 8 more
// than its own bytes.
void PCAModelFileF::recomputeSizeFields()
{
    for (auto& model : models)
    {
        model.headerSize =
            asU32 (ownBytes (model, [] (auto& w, auto& m) { modelschema::walkPcaModel (w, m); }));
        uint64_t modelChunk = model.headerSize;
        for (auto& position : model.positions)
        {
            const uint64_t header =
                ownBytes (position, [] (auto& w, auto& p) { modelschema::walkPcaPosition (w, p); });
            uint64_t positionChunk = header;
            for (auto& net : position.nets)
            {
                net.chunkSize =
                    asU32 (ownBytes (net, [] (auto& w, auto& n) { modelschema::walkPcaNet (w, n); }) + 8);
                positionChunk += net.chunkSize;
            }
            position.headerSize = asU32 (header);
            position.chunkSize = asU32 (positionChunk);
            modelChunk += position.chunkSize;
        }
        model.chunkSize = asU32 (modelChunk);
    }
}

void PCAModelFileF::serialise (ModelByteSink& sink, bool /*withProgress: this kind prints nothing*/)
{
    RecordWriter writer (sink);
    modelschema::walkPcaFile (writer, models);
}

std::unique_ptr<BaseModelFileF> makeModelFile (bool usesPca)
{
    if (usesPca)
        return std::make_unique<PCAModelFileF>();
    return std::make_unique<ModelFileF>();
}
