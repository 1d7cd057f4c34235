#pragma once

#include "engine/SSParamsVec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

// A reference entry as printed: its text fixes both the value and how many digits it carries,
// so each entry is compared to within half a unit of its last printed digit.
struct PrintedEntry
{
    const char* matrix;
    unsigned row;
    unsigned col;
    const char* text;
};

inline double printedValue (const std::string& text)
{
    return std::strtod (text.c_str(), nullptr);
}

// Half a unit in the last printed digit (mantissa digits only, exponent respected).
inline double printedHalfUnit (const std::string& text)
{
    const auto ePos = text.find_first_of ("eE");
    const std::string mantissa = text.substr (0, ePos);
    const int exponent = ePos == std::string::npos ? 0 : std::atoi (text.c_str() + ePos + 1);
    const auto dot = mantissa.find ('.');
    const int decimals = dot == std::string::npos ? 0 : static_cast<int> (mantissa.size() - dot - 1);
    return 0.5 * std::pow (10.0, exponent - decimals);
}

inline const StateSpaceMatrix& matrixByName (const SSParamsVec& block, const std::string& name)
{
    const StateSpaceMatrix* all[] = {&block.A, &block.B, &block.C, &block.D, &block.E,
                                     &block.F, &block.G, &block.H, &block.K};
    return *all[std::string ("ABCDEFGHK").find (name[0])];
}

inline void expectPrintedEntries (const SSParamsVec& block, const std::vector<PrintedEntry>& entries)
{
    for (const auto& e : entries)
    {
        const double actual = matrixByName (block, e.matrix) (e.row, e.col);
        if (printedValue (e.text) == 0.0)
        {
            // Printed zeros are structural: no component value or rate makes them non-zero.
            EXPECT_EQ (actual, 0.0) << e.matrix << "(" << e.row << "," << e.col << ")";
            continue;
        }
        // A little slack over the half unit absorbs the rounding of the printed value itself.
        EXPECT_NEAR (actual, printedValue (e.text), 1.01 * printedHalfUnit (e.text))
            << e.matrix << "(" << e.row << "," << e.col << ") printed " << e.text;
    }
}

// Expands a printed row "[a, b, c]" of matrix `name` into entries; zeros included.
inline void addPrintedRow (std::vector<PrintedEntry>& entries, const char* name, unsigned row,
                           std::initializer_list<const char*> values)
{
    unsigned col = 0;
    for (const char* v : values)
        entries.push_back ({name, row, col++, v});
}
