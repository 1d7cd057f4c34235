#include "ModelFileWriting.h"
#include "SampleModels.h"
#include "models/ModelDataCache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace
{
namespace fs = std::filesystem;

class ModelDataCacheTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::path (::testing::TempDir()) /
                 ("varkel-cache-" + std::to_string (::getpid()) + "-" + info->name());
        fs::remove_all (folder);
        fs::create_directories (folder);
    }
    void TearDown() override { fs::remove_all (folder); }

    // A standard file of the sample shape; `seed` changes its contents.
    std::string write (const std::string& name, uint32_t seed)
    {
        SampleShape shape;
        shape.seed = seed;
        const std::string path = (folder / name).string();
        EXPECT_EQ (testfiles::writeModelFile (*sampleStandardFile (shape), path), "");
        return path;
    }

    static SharedModelFile acquire (const std::string& path, uint32_t nv = 2)
    {
        return ModelDataCache::instance().acquire (path, false, nv, 2, 3);
    }

    ModelDataCache& cache = ModelDataCache::instance();
    fs::path folder;
};
} // namespace

TEST_F (ModelDataCacheTest, AFileInUseIsReadOnceWhateverNameItIsReachedBy)
{
    const std::string path = write ("b4.dat", 1);
    const fs::path link = folder / "another name.dat";
    fs::create_symlink (path, link);

    const uint64_t readsBefore = cache.readCount();
    const auto first = acquire (path);
    ASSERT_TRUE (first.status.ok) << first.status.message;
    const auto again = acquire (path);
    const auto linked = acquire (link.string());
    EXPECT_EQ (again.file, first.file);
    EXPECT_EQ (linked.file, first.file);
    EXPECT_EQ (cache.readCount(), readsBefore + 1);
}

TEST_F (ModelDataCacheTest, ARewrittenFileIsReadAgainAndAReleasedOneIsForgotten)
{
    const std::string path = write ("b4.dat", 1);
    auto first = acquire (path);
    ASSERT_TRUE (first.status.ok);

    // A new file under the old name: new contents, new identity.
    const std::string replacement = write ("b4.new", 2);
    fs::rename (replacement, path);
    const uint64_t readsBefore = cache.readCount();
    const auto second = acquire (path);
    ASSERT_TRUE (second.status.ok);
    EXPECT_NE (second.file, first.file);
    EXPECT_EQ (cache.readCount(), readsBefore + 1);

    // Nobody holds the first any more: it is gone, and the cache keeps no copy of its own.
    const std::weak_ptr<const BaseModelFileF> watched = first.file;
    first = {};
    EXPECT_TRUE (watched.expired());
    const auto held = acquire (path);
    EXPECT_EQ (held.file, second.file);
}

TEST_F (ModelDataCacheTest, AFileIsValidatedForTheBlockThatAsksAndRefusalsAreNotKept)
{
    const std::string path = write ("b4.dat", 3);
    const auto wrongShape = acquire (path, 3); // the file's networks have 2 inputs
    EXPECT_FALSE (wrongShape.status.ok);
    EXPECT_EQ (wrongShape.file, nullptr);
    EXPECT_NE (wrongShape.status.message.find (path), std::string::npos) << wrongShape.status.message;
    const auto rightShape = acquire (path, 2);
    EXPECT_TRUE (rightShape.status.ok) << rightShape.status.message;

    const auto missing = acquire ((folder / "none.dat").string());
    EXPECT_FALSE (missing.status.ok);
    EXPECT_NE (missing.status.message.find ("none.dat"), std::string::npos);
}

TEST_F (ModelDataCacheTest, AFifoIsRefusedWithoutWaitingForAWriter)
{
    const fs::path fifo = folder / "b4.dat";
    ASSERT_EQ (::mkfifo (fifo.c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    const auto result = acquire (fifo.string());
    EXPECT_LT (std::chrono::steady_clock::now() - start, std::chrono::seconds (5));
    EXPECT_FALSE (result.status.ok);
    EXPECT_NE (result.status.message.find ("is not a regular file"), std::string::npos) << result.status.message;
}

TEST_F (ModelDataCacheTest, ThreadsAskingAtOnceAllGetTheOneCopy)
{
    const std::string path = write ("b4.dat", 4);
    constexpr int threadCount = 6;
    std::vector<SharedModelFile> results (threadCount);
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t)
        threads.emplace_back ([&, t] { results[static_cast<size_t> (t)] = acquire (path); });
    for (auto& thread : threads)
        thread.join();
    for (const auto& result : results)
    {
        ASSERT_TRUE (result.status.ok) << result.status.message;
        EXPECT_EQ (result.file, results.front().file);
    }
}
