#pragma once

#include <juce_core/juce_core.h>

#include <string>

// Saved state comes from hosts and from files a person hands them, so it is checked before the
// XML parser sees it. The framework's parser descends once per nested element on the calling
// thread's stack, honours document type declarations (entities that expand to markup, entities
// read from files), and resumes in the middle of a tag it could not read, where a quote or an
// unknown entity can hide markup from a simpler reader. The state document needs none of
// that: it is three levels deep, has no declaration, and every tag and reference is plain.

constexpr int maxStateNesting = 64;

// Empty when the text may be parsed; otherwise why not, for a person. Reads the text character
// by character as the parser decodes it, accepts only markup whose reading leaves no choice
// (plain tags with quoted attributes, the predefined and numeric character references,
// comments, processing instructions, character data sections), and counts every element the
// parser would enter, so nothing it accepts nests deeper than maxDepth in the parser.
std::string findStateTextProblem (const juce::String& text, int maxDepth = maxStateNesting);
