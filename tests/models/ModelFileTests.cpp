#include "SampleModels.h"
#include "models/ModelFileReading.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
uint32_t wordAt (const std::vector<uint8_t>& image, size_t offset)
{
    uint32_t v;
    std::memcpy (&v, image.data() + offset, 4);
    return v;
}

void setWord (std::vector<uint8_t>& image, size_t offset, uint32_t v)
{
    std::memcpy (image.data() + offset, &v, 4);
}

std::string temporaryPath (const char* name)
{
    return testing::TempDir() + "/" + name + std::to_string (getpid());
}

SampleShape pcaShape()
{
    return pcaSampleShape (5, 8);
}
} // namespace

TEST (ModelFile, StandardRoundTripReproducesEveryByteAndField)
{
    auto written = sampleStandardFile (SampleShape{});
    const auto image = written->writeToMemory();
    ASSERT_TRUE (written->status().ok);

    ModelFileF read;
    read.printProgress = false;
    EXPECT_EQ (read.readFromMemory (image.data(), image.size()), image.size());
    ASSERT_TRUE (read.status().ok) << read.status().message;
    EXPECT_EQ (read.writeToMemory(), image);

    const auto& a = written->models[0];
    const auto& b = read.models[0];
    ASSERT_EQ (b.positionCount(), 2u);
    for (uint32_t p = 0; p < 2; ++p)
    {
        EXPECT_EQ (b.positions[p].positionTag, a.positions[p].positionTag);
        EXPECT_EQ (b.positions[p].rateTable, a.positions[p].rateTable);
        ASSERT_EQ (b.positions[p].netCount(), 2u);
        for (uint32_t e = 0; e < 2; ++e)
        {
            const auto& x = a.positions[p].nets[e];
            const auto& y = b.positions[p].nets[e];
            EXPECT_EQ (y.netTag, x.netTag);
            EXPECT_EQ (y.netTrailer, x.netTrailer);
            EXPECT_EQ (y.weights, x.weights);
            EXPECT_EQ (y.lowerBound, x.lowerBound);
            EXPECT_EQ (y.outputMax, x.outputMax);
            EXPECT_EQ (y.hiddenSizes, x.hiddenSizes);
            EXPECT_EQ (y.inputCount, 2u);
            EXPECT_EQ (y.weightCount(), 3u * 3 + 4 * 2);
        }
    }
    // The two positions were parsed from their own bytes.
    EXPECT_NE (b.positions[0].rateTable, b.positions[1].rateTable);
    EXPECT_NE (b.positions[0].nets[0].weights, b.positions[1].nets[0].weights);
}

TEST (ModelFile, PcaRoundTripKeepsTagsTrailersAndOutputProjection)
{
    auto written = samplePcaFile (pcaShape(), 3);
    const auto image = written->writeToMemory();
    ASSERT_TRUE (written->status().ok);

    PCAModelFileF read;
    EXPECT_EQ (read.readFromMemory (image.data(), image.size()), image.size());
    ASSERT_TRUE (read.status().ok) << read.status().message;
    EXPECT_EQ (read.writeToMemory(), image);

    const auto& a = written->models[0].positions[1];
    const auto& b = read.models[0].positions[1];
    EXPECT_EQ (b.positionTag, a.positionTag);
    EXPECT_EQ (b.outputProjection, a.outputProjection);
    EXPECT_EQ (b.projection, a.projection);
    EXPECT_EQ (b.inputMask, a.inputMask);
    EXPECT_EQ (b.nets[1].netTrailer, a.nets[1].netTrailer);
    EXPECT_EQ (b.nets[1].netTag, a.nets[1].netTag);
    // hiddenSizes {8}, nOut 4: 8 hidden and 4 output steepness values precede the weights.
    EXPECT_EQ (b.nets[1].hiddenNeuronSteepness, a.nets[1].hiddenNeuronSteepness);
    EXPECT_EQ (b.nets[1].hiddenNeuronSteepness.size(), 8u);
    EXPECT_EQ (b.nets[1].outputNeuronSteepness.size(), 4u);
    EXPECT_EQ (b.nets[1].weights, a.nets[1].weights);
}

TEST (ModelFile, SizeFieldsTakeTheWritersValuesAndAreIgnoredOnRead)
{
    SampleShape s;
    s.positions = 1;
    s.netsPerPosition = 1;
    auto file = sampleStandardFile (s);
    const auto image = file->writeToMemory();
    const uint32_t tableLength = file->models[0].tableLength;
    const size_t net = 28 + 16 + 8 * tableLength;
    // nIn 2, nOut 2, hidden {3}: weightCount 17, L 1.
    const uint32_t netChunk = 36 + 4 * (4 * 2 + 2 * 2 + 1 + 17);
    EXPECT_EQ (wordAt (image, net), netChunk);
    EXPECT_EQ (image.size() - net, netChunk); // a standard net's chunk is its byte size
    EXPECT_EQ (wordAt (image, 32), 40u);      // position headerSize, whatever tableLength is
    EXPECT_EQ (wordAt (image, 28), 40u + netChunk);
    EXPECT_EQ (wordAt (image, 8), 20u); // model headerSize is 20, not 24
    EXPECT_EQ (wordAt (image, 4), 20u + 40u + netChunk);

    auto zeroed = image;
    for (size_t offset : {size_t (4), size_t (8), size_t (28), size_t (32), net})
        setWord (zeroed, offset, 0);
    ModelFileF read;
    read.printProgress = false;
    read.readFromMemory (zeroed.data(), zeroed.size());
    ASSERT_TRUE (read.status().ok);
    EXPECT_EQ (read.models[0].chunkSize, 0u);
    EXPECT_EQ (read.writeToMemory(), image);
}

TEST (ModelFile, PcaSizeFieldsFollowTheirRules)
{
    SampleShape s = pcaShape();
    s.positions = 1;
    s.netsPerPosition = 1;
    auto file = samplePcaFile (s, 3);
    const auto image = file->writeToMemory();
    const auto& position = file->models[0].positions[0];
    const uint32_t header = 40 + 4 * (4 + 4) + 8 * (3 * 3 + 4 * 2 + position.tableLength);
    EXPECT_EQ (position.headerSize, header);
    const size_t netBytes = image.size() - 4 - 16 - header;
    EXPECT_EQ (position.nets[0].chunkSize, netBytes + 8); // 8 more than its byte size
    EXPECT_EQ (position.chunkSize, header + position.nets[0].chunkSize);
    EXPECT_EQ (file->models[0].headerSize, 16u);
    EXPECT_EQ (file->models[0].chunkSize, 16u + position.chunkSize);
}

TEST (ModelFile, SmallestStandardFileHasTheDocumentedLength)
{
    SampleShape s;
    s.positions = 1;
    s.netsPerPosition = 1;
    s.hidden = {};
    s.rates = {};
    auto file = sampleStandardFile (s);
    file->models[0].tableLength = 0;
    file->models[0].positions[0].tableLength = 0;
    file->models[0].positions[0].rateTable.clear();
    const auto image = file->writeToMemory();
    const uint32_t nIn = 2, nOut = 2;
    EXPECT_EQ (image.size(), 4u + 24 + 16 + (36 + 4 * (4 * nIn + 2 * nOut + nOut * (nIn + 1))));
    // Nothing lies between netCount and the net: the net's chunkSize follows directly.
    EXPECT_EQ (wordAt (image, 44), image.size() - 44);

    ModelFileF read;
    read.printProgress = false;
    EXPECT_EQ (read.readFromMemory (image.data(), image.size()), image.size());
    EXPECT_TRUE (read.status().ok);
    EXPECT_TRUE (read.models[0].positions[0].rateTable.empty());
}

TEST (ModelFile, PcaPositionWithoutMasksHasProjectionRightAfterItsFixedPart)
{
    PCAModelFileF file;
    file.setModelCount (1);
    auto& position = file.models[0].positions.emplace_back();
    position.projectionRows = 1;
    position.netInputCount = 1;
    position.netOutputCount = 1;
    position.projection = {12.5};
    position.nets.push_back (PCANetRecord::sized (1, {2}, 1));
    const auto image = file.writeToMemory();
    ASSERT_TRUE (file.status().ok);
    double first;
    std::memcpy (&first, image.data() + 4 + 16 + 40, 8);
    EXPECT_EQ (first, 12.5);
}

TEST (ModelFile, TruncatedImagesAreRefusedAtEveryCut)
{
    auto standard = sampleStandardFile (SampleShape{})->writeToMemory();
    auto pca = samplePcaFile (pcaShape(), 3)->writeToMemory();
    for (const bool usesPca : {false, true})
    {
        const auto& image = usesPca ? pca : standard;
        for (size_t cut = 0; cut < image.size(); ++cut)
        {
            // A copy of exactly `cut` bytes, so a read past the end is caught by the sanitizers.
            const std::vector<uint8_t> prefix (image.begin(), image.begin() + static_cast<long> (cut));
            const auto result = readModelImage (prefix.data(), prefix.size(), usesPca, usesPca ? 4 : 2,
                                                usesPca ? 4 : 2, usesPca ? 5 : 3, "cut.dat");
            ASSERT_FALSE (result.status.ok) << "cut at " << cut;
            EXPECT_EQ (result.file, nullptr);
            EXPECT_EQ (result.status.message.rfind ("cut.dat: ", 0), 0u) << result.status.message;
        }
    }
}

TEST (ModelFile, ShortFileNamesWhereItEnded)
{
    auto image = sampleStandardFile (SampleShape{})->writeToMemory();
    const size_t cut = image.size() - 10; // inside the last net's trailer
    image.resize (cut);
    ModelFileF file;
    file.printProgress = false;
    file.setName ("short.dat");
    EXPECT_LE (file.readFromMemory (image.data(), image.size()), cut);
    EXPECT_FALSE (file.status().ok);
    EXPECT_NE (file.status().message.find ("short.dat: ended at byte " + std::to_string (cut) +
                                           ", before its last record (reading netTrailer)"),
               std::string::npos)
        << file.status().message;
}

// Hostile counts are refused before anything is sized from them.
TEST (ModelFile, CountsTooLargeForTheFileAreRefused)
{
    const auto valid = sampleStandardFile (SampleShape{})->writeToMemory();
    const uint32_t tableLength = wordAt (valid, 24);
    const size_t firstNet = 44 + 8 * size_t (tableLength);
    const size_t hiddenLayerCount = firstNet + 8 + 4 * 4 * 2 + 4 * 2 * 2 + 8;
    struct Case
    {
        const char* field;
        size_t offset;
        uint32_t value;
        const char* expected;
    };
    const Case cases[] = {
        {"modelCount", 0, 0xFFFFFFFFu, "4294967295 models"},
        {"positionCount", 20, 0x40000000u, "positions"},
        {"tableLength", 24, 0x20000000u, "positions"},
        {"netCount", 40, 0x10000000u, "nets"},
        {"inputCount", 12, 0x7FFFFFFFu, ""},
        {"hiddenLayerCount", hiddenLayerCount, 0xFFFFFFF0u, "hidden layers"},
        {"hidden size", hiddenLayerCount + 4, 0xFFFFFFFFu, "weights"},
    };
    for (const auto& c : cases)
    {
        auto image = valid;
        setWord (image, c.offset, c.value);
        ModelFileF file;
        file.printProgress = false;
        file.readFromMemory (image.data(), image.size());
        EXPECT_FALSE (file.status().ok) << c.field;
        EXPECT_NE (file.status().message.find (c.expected), std::string::npos)
            << c.field << ": " << file.status().message;
    }

    auto pca = samplePcaFile (pcaShape(), 3)->writeToMemory();
    for (const size_t offset : {20 + 16, 20 + 20, 20 + 24, 20 + 28}) // mask lengths, projection dimensions
    {
        auto image = pca;
        setWord (image, size_t (offset), 0xFFFFFFFFu);
        PCAModelFileF file;
        file.readFromMemory (image.data(), image.size());
        EXPECT_FALSE (file.status().ok) << offset;
        EXPECT_NE (file.status().message.find ("too many"), std::string::npos) << file.status().message;
    }
}

TEST (ModelFile, FileWriteReadAndProgressLines)
{
    SampleShape s;
    s.positions = 2;
    s.netsPerPosition = 1;
    auto file = sampleStandardFile (s);
    file->printProgress = true;
    const std::string path = temporaryPath ("varkel_std.dat");
    ASSERT_NE (file->openWrite (path.c_str()), nullptr);
    testing::internal::CaptureStdout();
    const uint32_t written = file->write();
    const std::string lines = testing::internal::GetCapturedStdout();
    EXPECT_EQ (file->close(), 0);

    // Per position: 4 fixed words, the table, and per net 2 + 4 nIn + 2 nOut + 2 + 1 + L + W + 4.
    const uint32_t tableLength = file->models[0].tableLength;
    const uint32_t netElements = 2 + 8 + 4 + 2 + 1 + 1 + 17 + 4;
    const uint32_t position = 4 + tableLength + netElements;
    const uint32_t model = 6 + 2 * position;
    const uint32_t positionChunk = file->models[0].positions[0].chunkSize;
    const uint32_t modelChunk = file->models[0].chunkSize;
    char expected[256];
    std::snprintf (expected, sizeof expected,
                   "\t\tWrited %u, chunk size %u\n\t\tWrited %u, chunk size %u\n\tWrited %u, chunk size %u\n"
                   "Writed %u, chunk size %u\n",
                   position, positionChunk, position, positionChunk, model, modelChunk, 1 + model,
                   modelChunk + 1);
    EXPECT_EQ (lines, expected);
    EXPECT_EQ (written, 1 + model);

    ModelFileF read;
    ASSERT_NE (read.openRead (path.c_str()), nullptr);
    EXPECT_EQ (read.read(), written);
    EXPECT_EQ (read.close(), 0);
    EXPECT_TRUE (read.status().ok);
    EXPECT_EQ (read.writeToMemory(), file->writeToMemory());

    const auto image = file->writeToMemory();
    testing::internal::CaptureStdout();
    read.readFromMemory (image.data(), image.size());
    EXPECT_EQ (testing::internal::GetCapturedStdout(), "Readed " + std::to_string (image.size()) +
                                                           ", chunk size " + std::to_string (modelChunk + 1) +
                                                           "\n");
    std::remove (path.c_str());
}

TEST (ModelFile, MissingFileAndMisuseAreReportedNotCrashed)
{
    ModelFileF file;
    EXPECT_EQ (file.openRead ("/nonexistent/varkel.dat"), nullptr);
    EXPECT_FALSE (file.status().ok);
    EXPECT_NE (file.status().message.find ("/nonexistent/varkel.dat: could not be opened"),
               std::string::npos);
    EXPECT_EQ (file.read(), 0u);
    EXPECT_FALSE (file.status().ok);
    EXPECT_EQ (file.close(), EOF);

    const auto result = readModelFile ("/nonexistent/varkel.dat", true, 4, 4, 5);
    EXPECT_FALSE (result.status.ok);
    EXPECT_EQ (result.file, nullptr);

    // A device that never ends, or a FIFO that would wait for a writer for ever, is not even
    // opened: only regular files are.
    const std::string fifo = ::testing::TempDir() + "varkel-model-fifo-" + std::to_string (::getpid());
    ::unlink (fifo.c_str());
    ASSERT_EQ (::mkfifo (fifo.c_str(), 0600), 0);
    for (const std::string& special : {std::string ("/dev/zero"), fifo})
    {
        ModelFileF device;
        EXPECT_EQ (device.openRead (special.c_str()), nullptr) << special;
        EXPECT_NE (device.status().message.find (special + ": is not a regular file"), std::string::npos)
            << device.status().message;
        EXPECT_EQ (device.read(), 0u);
        EXPECT_EQ (readModelFile (special, false, 2, 2, 3).file, nullptr) << special;
    }
    ::unlink (fifo.c_str());

    // The writer refuses a tree whose arrays do not match its counts, and writes nothing.
    auto broken = sampleStandardFile (SampleShape{});
    broken->models[0].positions[1].nets[0].weights.pop_back();
    EXPECT_TRUE (broken->writeToMemory().empty());
    EXPECT_NE (broken->status().message.find ("weights"), std::string::npos);
}
