#include "models/NetworkLibrary.h"

#include "models/ModelRefusal.h"
#include "models/NetworkBuilding.h"

#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <tuple>
#include <unordered_map>

namespace
{
// FNV-1a over the bytes of a position's nets, to find candidates for sharing; equality is then
// checked record for record.
struct Hash
{
    uint64_t value = 1469598103934665603ull;

    void bytes (const void* data, size_t count) noexcept
    {
        const auto* b = static_cast<const unsigned char*> (data);
        for (size_t k = 0; k < count; ++k)
            value = (value ^ b[k]) * 1099511628211ull;
    }
    template <typename T>
    void values (const std::vector<T>& v) noexcept
    {
        const uint64_t n = v.size();
        bytes (&n, sizeof n);
        if (!v.empty())
            bytes (v.data(), v.size() * sizeof (T));
    }
    template <typename T>
    void value1 (const T& v) noexcept
    {
        bytes (&v, sizeof v);
    }
};

template <typename T>
bool sameBits (const std::vector<T>& a, const std::vector<T>& b) noexcept
{
    return a.size() == b.size() &&
           (a.empty() || std::memcmp (a.data(), b.data(), a.size() * sizeof (T)) == 0);
}

template <typename T>
bool sameBits (const T& a, const T& b) noexcept
{
    return std::memcmp (&a, &b, sizeof (T)) == 0;
}

// Everything of a net that building reads: the bounds, the scaling, the layers, the steepness
// and the weights. Compared bit for bit, so -0 and 0 or two NaNs of different payload differ.
bool sameCore (const NetRecordCore& a, const NetRecordCore& b) noexcept
{
    return a.inputCount == b.inputCount && a.outputCount == b.outputCount &&
           sameBits (a.lowerBound, b.lowerBound) && sameBits (a.upperBound, b.upperBound) &&
           sameBits (a.inputMin, b.inputMin) && sameBits (a.inputMax, b.inputMax) &&
           sameBits (a.outputMin, b.outputMin) && sameBits (a.outputMax, b.outputMax) &&
           a.hiddenSizes == b.hiddenSizes && sameBits (a.weights, b.weights);
}

bool sameNet (const NetRecord& a, const NetRecord& b) noexcept
{
    return sameCore (a, b) && sameBits (a.hiddenSteepness, b.hiddenSteepness) &&
           sameBits (a.outputSteepness, b.outputSteepness);
}

bool sameNet (const PCANetRecord& a, const PCANetRecord& b) noexcept
{
    return sameCore (a, b) && sameBits (a.hiddenNeuronSteepness, b.hiddenNeuronSteepness) &&
           sameBits (a.outputNeuronSteepness, b.outputNeuronSteepness);
}

void hashCore (Hash& h, const NetRecordCore& n) noexcept
{
    h.value1 (n.inputCount);
    for (const auto* values :
         {&n.lowerBound, &n.upperBound, &n.inputMin, &n.inputMax, &n.outputMin, &n.outputMax})
        h.values (*values);
    h.values (n.hiddenSizes);
    h.values (n.weights);
}

void hashNet (Hash& h, const NetRecord& n) noexcept
{
    hashCore (h, n);
    h.value1 (n.hiddenSteepness);
    h.value1 (n.outputSteepness);
}

void hashNet (Hash& h, const PCANetRecord& n) noexcept
{
    hashCore (h, n);
    h.values (n.hiddenNeuronSteepness);
    h.values (n.outputNeuronSteepness);
}

// The table also carries the position's output mask (pca) and its input count.
bool samePosition (const PositionRecord& a, const PositionRecord& b) noexcept
{
    if (a.inputCount != b.inputCount || a.nets.size() != b.nets.size())
        return false;
    for (size_t e = 0; e < a.nets.size(); ++e)
        if (!sameNet (a.nets[e], b.nets[e]))
            return false;
    return true;
}

bool samePosition (const PCAPositionRecord& a, const PCAPositionRecord& b) noexcept
{
    if (a.netInputCount != b.netInputCount || a.nets.size() != b.nets.size() ||
        !(a.outputMask == b.outputMask))
        return false;
    for (size_t e = 0; e < a.nets.size(); ++e)
        if (!sameNet (a.nets[e], b.nets[e]))
            return false;
    return true;
}

uint64_t hashPosition (const PositionRecord& p) noexcept
{
    Hash h;
    h.value1 (p.inputCount);
    for (const auto& net : p.nets)
        hashNet (h, net);
    return h.value;
}

uint64_t hashPosition (const PCAPositionRecord& p) noexcept
{
    Hash h;
    h.value1 (p.netInputCount);
    h.values (p.outputMask);
    for (const auto& net : p.nets)
        hashNet (h, net);
    return h.value;
}

template <typename Position>
bool buildTables (const BaseModelFileF& file, const std::vector<Position>& positions, uint32_t ni,
                  std::vector<uint32_t>& tableOfPosition, std::vector<std::unique_ptr<PositionTable>>& tables,
                  ModelLoadResult& status)
{
    // Hash to the first position of each distinct table with that hash.
    std::unordered_multimap<uint64_t, uint32_t> seen;
    tableOfPosition.resize (positions.size());
    std::vector<uint32_t> firstPositionOfTable;
    for (uint32_t a = 0; a < positions.size(); ++a)
    {
        const uint64_t h = hashPosition (positions[a]);
        bool shared = false;
        for (auto [it, end] = seen.equal_range (h); it != end; ++it)
        {
            const uint32_t t = it->second;
            if (samePosition (positions[firstPositionOfTable[t]], positions[a]))
            {
                tableOfPosition[a] = t;
                shared = true;
                break;
            }
        }
        if (shared)
            continue;
        auto table = buildPositionTable (file, ni, a, false, status);
        if (table == nullptr)
            return false;
        const auto t = static_cast<uint32_t> (tables.size());
        tables.push_back (std::move (table));
        firstPositionOfTable.push_back (a);
        seen.emplace (h, t);
        tableOfPosition[a] = t;
    }
    return true;
}

using Key = std::tuple<const BaseModelFileF*, uint32_t>;

std::mutex& registryLock()
{
    static std::mutex lock;
    return lock;
}

std::map<Key, std::weak_ptr<const NetworkLibrary>>& registry()
{
    static std::map<Key, std::weak_ptr<const NetworkLibrary>> entries;
    return entries;
}
} // namespace

std::shared_ptr<const NetworkLibrary>
NetworkLibrary::build (const std::shared_ptr<const BaseModelFileF>& file, uint32_t ni,
                       ModelLoadResult& status)
{
    status = ModelLoadResult::success();
    if (file == nullptr)
    {
        status = ModelLoadResult::failure ("no model file to build networks from");
        return nullptr;
    }
    try
    {
        auto library = std::make_shared<NetworkLibrary>();
        library->file = file;
        bool built = false;
        if (const auto* pca = dynamic_cast<const PCAModelFileF*> (file.get());
            pca != nullptr && !pca->models.empty())
            built = buildTables (*file, pca->models[0].positions, ni, library->tableOfPosition,
                                 library->tables, status);
        else if (const auto* standard = dynamic_cast<const ModelFileF*> (file.get());
                 standard != nullptr && !standard->models.empty())
            built = buildTables (*file, standard->models[0].positions, ni, library->tableOfPosition,
                                 library->tables, status);
        else
            status = ModelLoadResult::failure (file->name() + ": holds no model");
        if (!built)
            return nullptr;
        for (const auto& table : library->tables)
        {
            library->largestInputs = std::max (library->largestInputs, table->maxInputs);
            library->largestScratch = std::max (library->largestScratch, table->scratchFloats);
        }
        return library;
    }
    catch (const std::bad_alloc&)
    {
        status = refuse (*file, "its networks need more memory than is available");
        return nullptr;
    }
}

std::shared_ptr<const NetworkLibrary>
NetworkLibrary::forFile (const std::shared_ptr<const BaseModelFileF>& file, uint32_t ni,
                         ModelLoadResult& status)
{
    status = ModelLoadResult::success();
    if (file == nullptr)
        return build (file, ni, status);
    const Key key{file.get(), ni};
    // Building under the lock: two blocks loading the same file at once wait for one build
    // rather than both building. A library holds its file, so a live entry's address is its file's.
    const std::lock_guard<std::mutex> guard (registryLock());
    auto& entries = registry();
    for (auto it = entries.begin(); it != entries.end();)
        it = it->second.expired() ? entries.erase (it) : std::next (it);
    if (auto it = entries.find (key); it != entries.end())
        if (auto live = it->second.lock())
            return live;
    auto library = build (file, ni, status);
    if (library != nullptr)
        entries[key] = library;
    return library;
}
