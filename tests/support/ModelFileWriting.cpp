#include "ModelFileWriting.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <system_error>

namespace testfiles
{
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
