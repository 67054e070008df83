// A fresh directory for the files a test makes, removed with its contents.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct ScratchDir {
    ScratchDir() {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path.empty(); attempt++) {
            std::filesystem::path candidate =
                std::filesystem::temp_directory_path() / ("zarnek-test-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) path = candidate;
        }
        if (path.empty()) throw std::runtime_error("no scratch directory");
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string file(const char* name) const { return (path / name).string(); }
    std::string write(const char* name, const std::string& bytes) const {
        std::ofstream(file(name), std::ios::binary) << bytes;
        return file(name);
    }
    std::filesystem::path path;
};

// Temporary files go to the directory for the length of a test.
class TemporaryFilesIn {
public:
    explicit TemporaryFilesIn(const std::filesystem::path& directory) {
        if (const char* value = std::getenv(VARIABLE)) saved = value;
        set(directory.string().c_str());
    }
    ~TemporaryFilesIn() { set(saved ? saved->c_str() : nullptr); }

private:
#ifdef _WIN32
    static constexpr const char* VARIABLE = "TMP";
    static void set(const char* value) { _putenv_s(VARIABLE, value != nullptr ? value : ""); }
#else
    static constexpr const char* VARIABLE = "TMPDIR";
    static void set(const char* value) { value != nullptr ? setenv(VARIABLE, value, 1) : unsetenv(VARIABLE); }
#endif
    std::optional<std::string> saved;
};
