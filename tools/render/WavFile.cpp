#include "WavFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace
{
uint32_t readLittle (const unsigned char* bytes, int count)
{
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

void appendLittle (std::vector<unsigned char>& out, uint32_t value, int count)
{
    for (int i = 0; i < count; ++i)
        out.push_back (static_cast<unsigned char> ((value >> (8 * i)) & 0xFFu));
}

constexpr uint16_t formatPcm = 1;
constexpr uint16_t formatFloat = 3;
constexpr uint16_t formatExtensible = 0xFFFE;

float decodeSample (const unsigned char* p, uint16_t format, uint16_t bits)
{
    if (format == formatFloat)
    {
        if (bits == 32)
        {
            const uint32_t raw = readLittle (p, 4);
            float value;
            std::memcpy (&value, &raw, 4);
            return value;
        }
        uint64_t raw = 0;
        for (int i = 7; i >= 0; --i)
            raw = (raw << 8) | p[i];
        double value;
        std::memcpy (&value, &raw, 8);
        return static_cast<float> (value);
    }
    switch (bits)
    {
    case 16:
        return static_cast<float> (static_cast<int16_t> (readLittle (p, 2))) / 32768.0f;
    case 24:
    {
        // Sign-extend the 24-bit value through the top of a 32-bit word.
        const auto value = static_cast<int32_t> (readLittle (p, 3) << 8) / 256;
        return static_cast<float> (value) / 8388608.0f;
    }
    default:
        return static_cast<float> (static_cast<double> (static_cast<int32_t> (readLittle (p, 4))) /
                                   2147483648.0);
    }
}
} // namespace

bool readWav (const std::string& path, Audio& audio, std::string& error)
{
    std::ifstream file (path, std::ios::binary);
    if (!file)
    {
        error = "cannot open " + path;
        return false;
    }
    const std::vector<unsigned char> bytes ((std::istreambuf_iterator<char> (file)),
                                            std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp (bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp (bytes.data() + 8, "WAVE", 4) != 0)
    {
        error = path + " is not a WAV file";
        return false;
    }

    uint16_t format = 0, channels = 0, bits = 0;
    uint32_t rate = 0;
    const unsigned char* data = nullptr;
    size_t dataSize = 0;
    for (size_t at = 12; at + 8 <= bytes.size();)
    {
        const unsigned char* chunk = bytes.data() + at;
        const size_t declared = readLittle (chunk + 4, 4);
        const size_t size = std::min (declared, bytes.size() - at - 8); // a truncated file keeps what it has
        if (std::memcmp (chunk, "fmt ", 4) == 0 && size >= 16)
        {
            format = static_cast<uint16_t> (readLittle (chunk + 8, 2));
            channels = static_cast<uint16_t> (readLittle (chunk + 10, 2));
            rate = readLittle (chunk + 12, 4);
            bits = static_cast<uint16_t> (readLittle (chunk + 22, 2));
            if (format == formatExtensible && size >= 26)
                format =
                    static_cast<uint16_t> (readLittle (chunk + 32, 2)); // the sub-format's first two bytes
        }
        else if (std::memcmp (chunk, "data", 4) == 0)
        {
            data = chunk + 8;
            dataSize = size;
        }
        at += 8 + size + (size & 1u); // chunks are padded to an even length
    }

    const bool supported = (format == formatPcm && (bits == 16 || bits == 24 || bits == 32)) ||
                           (format == formatFloat && (bits == 32 || bits == 64));
    if (channels == 0 || rate == 0)
    {
        error = path + ": no usable format chunk";
        return false;
    }
    if (!supported)
    {
        error = path + ": unsupported sample format (" + std::to_string (bits) + "-bit, format " +
                std::to_string (format) + "); use 16/24/32-bit PCM or 32/64-bit float";
        return false;
    }
    if (data == nullptr)
    {
        error = path + ": no data chunk";
        return false;
    }

    const size_t frameBytes = static_cast<size_t> (channels) * bits / 8;
    const size_t frames = dataSize / frameBytes;
    audio.sampleRate = rate;
    audio.channels.assign (channels, std::vector<float> (frames));
    for (size_t f = 0; f < frames; ++f)
        for (size_t c = 0; c < channels; ++c)
        {
            const float value = decodeSample (data + f * frameBytes + c * bits / 8, format, bits);
            audio.channels[c][f] = std::isfinite (value) ? value : 0.0f; // a NaN is no sound
        }
    return true;
}

bool writeWav24 (const std::string& path, const Audio& audio, size_t& clippedSamples, std::string& error)
{
    clippedSamples = 0;
    const size_t channels = audio.channels.size();
    const size_t frames = channels > 0 ? audio.channels.front().size() : 0;
    const size_t dataSize = frames * channels * 3;
    if (channels == 0 || channels > 0xFFFF || dataSize > 0xFFFFFFF0u - 36 || audio.sampleRate <= 0.0)
    {
        error = "nothing a WAV file can hold (channels, length or rate out of range)";
        return false;
    }

    std::vector<unsigned char> out;
    out.reserve (44 + dataSize);
    const auto tag = [&out] (const char* text) { out.insert (out.end(), text, text + 4); };
    const auto rate = static_cast<uint32_t> (std::lround (audio.sampleRate));
    tag ("RIFF");
    appendLittle (out, static_cast<uint32_t> (36 + dataSize), 4);
    tag ("WAVE");
    tag ("fmt ");
    appendLittle (out, 16, 4);
    appendLittle (out, formatPcm, 2);
    appendLittle (out, static_cast<uint32_t> (channels), 2);
    appendLittle (out, rate, 4);
    appendLittle (out, static_cast<uint32_t> (rate * channels * 3), 4);
    appendLittle (out, static_cast<uint32_t> (channels * 3), 2);
    appendLittle (out, 24, 2);
    tag ("data");
    appendLittle (out, static_cast<uint32_t> (dataSize), 4);

    for (size_t f = 0; f < frames; ++f)
        for (size_t c = 0; c < channels; ++c)
        {
            float value = f < audio.channels[c].size() ? audio.channels[c][f] : 0.0f;
            if (!std::isfinite (value))
                value = 0.0f;
            if (value > 1.0f || value < -1.0f)
                ++clippedSamples;
            const double scaled = std::clamp (static_cast<double> (value) * 8388608.0, -8388608.0, 8388607.0);
            appendLittle (out, static_cast<uint32_t> (static_cast<int32_t> (std::lround (scaled))), 3);
        }

    std::ofstream file (path, std::ios::binary | std::ios::trunc);
    file.write (reinterpret_cast<const char*> (out.data()), static_cast<std::streamsize> (out.size()));
    file.close();
    if (!file)
    {
        error = "cannot write " + path;
        return false;
    }
    return true;
}
