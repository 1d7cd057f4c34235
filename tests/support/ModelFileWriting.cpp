#include "ModelFileWriting.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <system_error>

namespace testfiles
{
namespace
{
bool sameBytes (const std::string& a, const std::string& b)
{
    std::ifstream first (a, std::ios::binary), second (b, std::ios::binary);
    if (!first || !second)
        return false;
    const std::string left ((std::istreambuf_iterator<char> (first)), std::istreambuf_iterator<char>());
    const std::string right ((std::istreambuf_iterator<char> (second)), std::istreambuf_iterator<char>());
    return left == right;
}
} // namespace

std::string writeModelFile (BaseModelFileF& file, const std::string& path, bool replaceAtomically)
{
    const std::string written = replaceAtomically ? path + ".part" + std::to_string (getpid()) : path;
    file.printProgress = false;
    file.setName (written);
    if (file.openWrite (written.c_str()) == nullptr)
        return "cannot open " + written + " for writing";
    file.write();
    file.close();
    if (!file.status().ok)
        return file.status().message;
    if (!replaceAtomically)
        return {};
    std::error_code error;
    // Test processes that share a folder write the same files at start: a file already there
    // with the same bytes is kept, so a process that has read it does not see it replaced.
    if (sameBytes (written, path))
    {
        std::filesystem::remove (written, error);
        return {};
    }
    std::filesystem::rename (written, path, error);
    return error ? "cannot rename " + written + ": " + error.message() : std::string();
}

std::string writeModelImage (const std::vector<uint8_t>& image, const std::string& path)
{
    std::ofstream stream (path, std::ios::binary);
    stream.write (reinterpret_cast<const char*> (image.data()), static_cast<std::streamsize> (image.size()));
    stream.close();
    return stream.good() ? std::string() : "cannot write " + path;
}
} // namespace testfiles
