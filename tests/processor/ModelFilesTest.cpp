#include "processor/ModelFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

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

// A block that shares one file among rates takes the rate's own file when the folder holds one,
// and anything by that name counts: a folder or FIFO there is refused by the loader under its own
// name instead of being passed over for the shared file.
TEST (ModelFiles, ARateFileOfASharedBlockIsPreferredWhereItExists)
{
    const auto folder = std::filesystem::temp_directory_path() / ("varkel-choose-" + std::to_string (getpid()));
    std::filesystem::remove_all (folder);
    std::filesystem::create_directories (folder);
    const std::string dir = folder.string();
    std::ofstream (folder / "varkelpre_eh_b1_pca.dat.192000") << "x";
    std::filesystem::create_directory (folder / "varkelpre_eh_b2_pca.dat.192000");
    ASSERT_EQ (mkfifo ((folder / "varkelpre_eh_b4_std.dat.384000").c_str(), 0600), 0);

    struct Case
    {
        int block;
        int32_t rate;
        std::string folder;
        std::string chosen;
    };
    const Case cases[] = {
        {0, 192000, dir, dir + "/varkelpre_eh_b1_pca.dat.192000"},
        {0, 192000, dir + "/", dir + "/varkelpre_eh_b1_pca.dat.192000"},
        {0, 96000, dir, dir + "/varkelpre_eh_b1_pca.dat"}, // no file of its own: the shared one
        {1, 192000, dir, dir + "/varkelpre_eh_b2_pca.dat.192000"},
        {3, 384000, dir, dir + "/varkelpre_eh_b4_std.dat.384000"},
        {3, 192000, dir, dir + "/varkelpre_eh_b4_std.dat"},
        {2, 192000, dir, dir + "/varkelpre_eh_b3_pca.dat.192000"}, // always per rate
        {0, 0, dir, dir + "/varkelpre_eh_b1_pca.dat"},
        {4, 192000, dir, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ (chooseModelFile (c.folder, "eh", c.block, c.rate), c.chosen) << c.block << " " << c.rate;
    EXPECT_EQ (chooseModelFile (dir, "", 0, 192000), "");
    // The name of a rate's own file, which the builder writes: none for block 3 or without a rate.
    EXPECT_EQ (rateOwnModelFileName ("rsd", 1, 705600), "varkelpre_rsd_b2_pca.dat.705600");
    EXPECT_EQ (rateOwnModelFileName ("eh", 2, 192000), "");
    EXPECT_EQ (rateOwnModelFileName ("eh", 0, 0), "");
    std::filesystem::remove_all (folder);
}
} // namespace
