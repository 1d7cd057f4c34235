#pragma once

#include <cstddef>
#include <cstdint>

// A VST 2.4 host can ask the plug-in whether its model data loaded, through the vendor-specific
// opcode (effVendorSpecific, 50): index = queryIndex, value = queryValue, ptr = a char buffer of
// textCapacity bytes that receives the plug-in's status text (empty when every file loaded),
// always zero-terminated. The answer is one of the two codes below; 0 means the effect does not
// know the query. Without data the plug-in is silent, and a render tool should say why.
namespace modelstatus
{
constexpr int32_t queryIndex = 0x56524B4C;  // "VRKL"
constexpr intptr_t queryValue = 0x4D646C53; // "MdlS"
constexpr size_t textCapacity = 256;
constexpr intptr_t answerLoaded = 1;
constexpr intptr_t answerProblem = 2;
} // namespace modelstatus
