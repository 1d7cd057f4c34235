#pragma once

#include <string>

// Outcome of reading a model data file or loading it into a block. A failed load names the
// file and what is wrong with it, so the plug-in can show a person why a block is silent.
struct ModelLoadResult
{
    bool ok = false;
    std::string message; // empty when ok

    static ModelLoadResult success() { return { true, {} }; }
    static ModelLoadResult failure (std::string why) { return { false, std::move (why) }; }
};
