#pragma once

#include "Vst2Host.h"

#include <string>

// Setting an effect's parameter the way a person names it: by parameter name (letter case,
// blanks and punctuation ignored: "gain", "Dual Triodes", "monostereo") or index, and by a
// normalized value 0..1 or the text the effect displays for the wanted value ("Aged 12ax7", "x4",
// "Stereo"; letter case and runs of blanks ignored).
namespace vst2host
{
// The parameter's index, or -1 when no parameter has that name.
int findParameter (Effect& effect, const std::string& name);

// Sets the parameter. Returns an empty string on success, else what went wrong for a person to
// read. Display texts are found by trying 65 evenly spaced values, which is enough for every
// stepped parameter of up to 64 steps; a text no value displays leaves the parameter as it was.
std::string setParameterByText (Effect& effect, const std::string& name, const std::string& value);
} // namespace vst2host
