// zarnek-screen: feeds a byte stream (a file, or standard input) to a fresh
// session as received data and prints the resulting screen, the cursor and
// the replies owed to the host, in a form that scripts can compare.
//
//   zarnek-screen [-a|-v|-x|-t] [--rows R] [--cols C] [--attrs] [--status] [file]
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "screen_dump.h"

namespace {

constexpr const char* USAGE =
    "usage: zarnek-screen [-a|-v|-x|-t] [--rows R] [--cols C] [--attrs] [--status] [file]\n";

bool readInput(const std::string& path, std::string& input) {
    if (path.empty()) {
        std::ostringstream bytes;
        bytes << std::cin.rdbuf();
        input = bytes.str();
        return !std::cin.bad();
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    input.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

}  // namespace

int main(int argc, char** argv) {
    ScreenOptions options;
    std::string error;
    if (!parseScreenOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "zarnek-screen: %s\n%s", error.c_str(), USAGE);
        return 2;
    }
    std::string input;
    if (!readInput(options.inputPath, input)) {
        std::fprintf(stderr, "zarnek-screen: cannot read %s\n",
                     options.inputPath.empty() ? "standard input" : options.inputPath.c_str());
        return 1;
    }
    ScreenResult result = runScreen(options, input);
    std::fwrite(result.dump.data(), 1, result.dump.size(), stdout);
    if (!result.drift.empty())
        std::fprintf(stderr, "zarnek-screen: the console differs from the screen: %s\n",
                     result.drift.c_str());
    if (result.waitedForKey) {
        std::fprintf(stderr, "zarnek-screen: the stream made the terminal wait for a key\n");
        return 1;
    }
    return result.drift.empty() ? 0 : 1;
}
