#pragma once

#include "models/ModelFile.h"

#include <cstdint>
#include <string>
#include <vector>

// The one way tests, benchmarks and tools of the test tree put a model file on disk: through the
// model file writer for a file object, or byte for byte for an image another writer made. Each
// returns an empty string, or what went wrong.
namespace testfiles
{
// Writes the file object to path in silence, named as its path. With `replaceAtomically`, the
// bytes go to a private name first and are renamed into place, so a concurrent reader never sees
// a half-written file.
std::string writeModelFile (BaseModelFileF& file, const std::string& path, bool replaceAtomically = false);

// Writes an image (as writeToMemory or the builder makes one) to path.
std::string writeModelImage (const std::vector<uint8_t>& image, const std::string& path);
} // namespace testfiles
