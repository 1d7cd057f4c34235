#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// Raw little-endian access for the model file classes. The layout is copied straight between
// memory and the file, so it requires a little-endian host (every platform the plug-in targets).
static_assert (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "model files are read on little-endian hosts only");

// Sequential bounded reader over a memory image or an open file of known length. The first
// failure sticks: later reads fail too, so a parser may simply stop at the first false.
class ModelByteSource
{
public:
    ModelByteSource (const uint8_t* image, uint64_t length) : memory (image), total (length) {}
    ModelByteSource (FILE* file, uint64_t length) : handle (file), total (length) {}

    bool u32 (uint32_t& value, const char* what) { return scalar (&value, sizeof value, what); }
    bool f32 (float& value, const char* what) { return scalar (&value, sizeof value, what); }
    bool f64 (double& value, const char* what) { return scalar (&value, sizeof value, what); }

    // True when `count` records of at least `minimumBytes` each can still follow. Checked
    // before anything is sized from a count, so a hostile count never drives an allocation.
    bool fits (uint64_t count, uint64_t minimumBytes, const char* what)
    {
        if (hasFailed)
            return false;
        if (minimumBytes != 0 && count > remaining() / minimumBytes)
        {
            // A count that even the whole file could not hold is corrupt; otherwise the file is short.
            if (count > total / minimumBytes)
                fail ("holds " + std::to_string (count) + " " + what + " at byte " +
                      std::to_string (position) + ", too many for the " + std::to_string (remaining()) +
                      " bytes that remain");
            else
                fail ("ended at byte " + std::to_string (total) + ", before its last record (reading " +
                      what + ")");
            return false;
        }
        return true;
    }

    template <typename T>
    bool array (std::vector<T>& out, uint64_t count, const char* what)
    {
        if (!fits (count, sizeof (T), what))
            return false;
        out.assign (static_cast<size_t> (count), T{});
        if (count == 0)
            return true;
        if (!take (out.data(), static_cast<size_t> (count) * sizeof (T), what))
            return false;
        elementCount += count;
        return true;
    }

    bool failed() const { return hasFailed; }
    const std::string& failure() const { return failureText; }
    uint64_t offset() const { return position; }
    uint64_t remaining() const { return total - position; }
    uint64_t elements() const { return elementCount; }

    void fail (const std::string& why)
    {
        if (!hasFailed)
            failureText = why;
        hasFailed = true;
    }

private:
    bool scalar (void* value, size_t bytes, const char* what)
    {
        if (!take (value, bytes, what))
            return false;
        ++elementCount;
        return true;
    }

    bool take (void* destination, size_t bytes, const char* what)
    {
        if (hasFailed)
            return false;
        if (bytes > remaining())
        {
            fail ("ended at byte " + std::to_string (total) + ", before its last record (reading " + what +
                  ")");
            return false;
        }
        if (memory != nullptr)
            std::memcpy (destination, memory + position, bytes);
        else if (std::fread (destination, 1, bytes, handle) != bytes)
        {
            fail ("could not be read past byte " + std::to_string (position) + " (reading " + what + ")");
            return false;
        }
        position += bytes;
        return true;
    }

    const uint8_t* memory = nullptr;
    FILE* handle = nullptr;
    uint64_t total = 0;
    uint64_t position = 0;
    uint64_t elementCount = 0;
    bool hasFailed = false;
    std::string failureText;
};

// Sequential writer into an open file or a growing byte vector; counts elements as it goes.
class ModelByteSink
{
public:
    explicit ModelByteSink (FILE* file) : handle (file) {}
    explicit ModelByteSink (std::vector<uint8_t>& image) : bytes (&image) {}

    void u32 (uint32_t value) { scalar (&value, sizeof value); }
    void f32 (float value) { scalar (&value, sizeof value); }
    void f64 (double value) { scalar (&value, sizeof value); }

    template <typename T>
    void array (const std::vector<T>& values)
    {
        if (values.empty())
            return;
        put (values.data(), values.size() * sizeof (T));
        elementCount += values.size();
    }

    uint64_t elements() const { return elementCount; }
    bool failed() const { return hasFailed; }

private:
    void scalar (const void* value, size_t size)
    {
        put (value, size);
        ++elementCount;
    }

    void put (const void* data, size_t size)
    {
        if (bytes != nullptr)
        {
            const auto* first = static_cast<const uint8_t*> (data);
            bytes->insert (bytes->end(), first, first + size);
        }
        else if (hasFailed || std::fwrite (data, 1, size, handle) != size)
            hasFailed = true;
    }

    FILE* handle = nullptr;
    std::vector<uint8_t>* bytes = nullptr;
    uint64_t elementCount = 0;
    bool hasFailed = false;
};
