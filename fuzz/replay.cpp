// Runs a fuzz target's entry point once on every file of the corpus folders
// (or the files) given, as libFuzzer starts with its seeds: a build without
// libFuzzer replays the corpus as a test.  A failing input aborts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::set<fs::path> inputs;  // in name order, so a run is repeatable
    for (int i = 1; i < argc; i++) {
        if (!fs::is_directory(argv[i])) {
            inputs.insert(argv[i]);
            continue;
        }
        for (const fs::directory_entry& entry : fs::directory_iterator(argv[i]))
            if (entry.is_regular_file()) inputs.insert(entry.path());
    }
    for (const fs::path& input : inputs) {
        std::ifstream file(input, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", input.string().c_str());
            return 1;
        }
        std::vector<uint8_t> data{std::istreambuf_iterator<char>(file), {}};
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return inputs.empty() ? 1 : 0;
}
