#include "processor/ModelFiles.h"

#include <gtest/gtest.h>

namespace
{
struct NameCase
{
    int block;
    int valveType;
    int32_t rate;
    const char* name;
};

TEST (ModelFiles, NamesPerBlockValveTypeAndRate)
{
    const NameCase cases[] = {
        {0, 0, 44100, "varkelpre_eh_b1_pca.dat"},
        {1, 0, 44100, "varkelpre_eh_b2_pca.dat"},
        {2, 0, 44100, "varkelpre_eh_b3_pca.dat.44100"},
        {3, 0, 44100, "varkelpre_eh_b4_std.dat"},
        {0, 1, 44100, "varkelpre_rsd_b1_pca.dat"},
        {1, 1, 48000, "varkelpre_rsd_b2_pca.dat"},
        {2, 1, 48000 * 4, "varkelpre_rsd_b3_pca.dat.192000"},
        {2, 0, 48000 * 8, "varkelpre_eh_b3_pca.dat.384000"},
        {2, 0, 44100 * 16, "varkelpre_eh_b3_pca.dat.705600"},
        {2, 0, 768000 * 16, "varkelpre_eh_b3_pca.dat.12288000"}, // never cut to seven digits
        {3, 1, 96000, "varkelpre_rsd_b4_std.dat"},
        // no file: valve type or block outside the table, no rate yet
        {0, 2, 44100, ""},
        {2, -1, 44100, ""},
        {4, 0, 44100, ""},
        {2, 0, 0, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ (modelFileName (c.block, c.valveType, c.rate), c.name) << c.block << " " << c.valveType;
}

TEST (ModelFiles, FolderIsTheModulePathWithDatAppended)
{
    EXPECT_EQ (modelDataFolder ("/usr/lib/vst/VARKEL Hot Preamp.so"),
               "/usr/lib/vst/VARKEL Hot Preamp.so.dat/");
}

TEST (ModelFiles, OnlyBlockFourReadsAStandardFile)
{
    EXPECT_TRUE (blockUsesPrincipalComponents (0));
    EXPECT_TRUE (blockUsesPrincipalComponents (1));
    EXPECT_TRUE (blockUsesPrincipalComponents (2));
    EXPECT_FALSE (blockUsesPrincipalComponents (3));
}
} // namespace
