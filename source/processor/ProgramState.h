#pragma once

#include "processor/ProgramRecord.h"

#include <juce_core/juce_core.h>

#include <memory>
#include <string>

// The saved state: one XML document, root "kez", with all programs and the current program index.

// The built-in bank installed at construction: twelve programs "1 default" ... "12 default".
const char* getDefaultProgramsDocument() noexcept;

std::unique_ptr<juce::XmlElement> createStateDocument (const ProgramRecord* programs, int count,
                                                       int currentProgram);

// Wraps a document for the host: magic "VC2!", text length, the single-line UTF-8 text without XML
// declaration, a terminating zero.
void wrapStateDocument (const juce::XmlElement& document, juce::MemoryBlock& destination);

// Unwraps a host's block as the framework's getXmlFromBinary does (magic, length, UTF-8 text,
// only the bytes present) and parses the text, unless findStateTextProblem refuses it first.
// Null when the block holds no usable document; then problem (if given) says why.
std::unique_ptr<juce::XmlElement> readStateBlock (const void* data, int sizeInBytes,
                                                  std::string* problem = nullptr);

// Loads the "program" elements of a "kez" document into the records in order (up to count; later
// records keep their contents) and answers the program index it names. Answers false, and changes
// nothing, when the root is not "kez". Names are matched without regard to letter case.
bool restoreStateDocument (const juce::XmlElement& document, ProgramRecord* programs, int count,
                           int& programToSelect);
