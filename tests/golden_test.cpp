// Streams in tests/golden/*.in and the dumps worked out for them by hand
// (*.out), with the screen tool's options in *.args.  Each stream is also fed
// one byte per read: a sequence split between reads must give the same screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "scratch_dir.h"
#include "screen_dump.h"

namespace {

namespace fs = std::filesystem;

fs::path goldenDirectory() { return fs::path(__FILE__).parent_path() / "golden"; }

std::vector<std::string> words(const std::string& text) {
    std::istringstream stream(text);
    return std::vector<std::string>(std::istream_iterator<std::string>(stream), {});
}

std::vector<std::string> goldenNames() {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(goldenDirectory()))
        if (entry.path().extension() == ".in") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

class GoldenTest : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenTest, DumpMatchesWhetherFedWholeOrByteByByte) {
    const std::string base = (goldenDirectory() / GetParam()).string();
    ScreenOptions options;
    std::string error;
    ASSERT_TRUE(parseScreenOptions(words(readFile(base + ".args")), options, error)) << error;
    const std::string input = readFile(base + ".in");
    const std::string expected = readFile(base + ".out");
    for (int blockSize : {IO_BLOCK_SIZE, 1}) {
        SCOPED_TRACE("blocks of " + std::to_string(blockSize));
        options.blockSize = blockSize;
        ScreenResult result = runScreen(options, input);
        EXPECT_FALSE(result.waitedForKey);
        EXPECT_EQ(result.drift, "");
        EXPECT_EQ(result.dump, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, GoldenTest, ::testing::ValuesIn(goldenNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
