// A fresh directory for the files a test makes, removed with its contents; temporary files go there too while
// it exists.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct ScratchDir {
    ScratchDir() {
        auto temporary = std::filesystem::temp_directory_path();
        path = temporary / ("zarnek-test-" + std::to_string(std::random_device()()));
        std::filesystem::create_directory(path);
        setTemporary(path.string().c_str());
    }
    ~ScratchDir() {
        setTemporary(saved.empty() ? nullptr : saved.c_str());
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path;

private:
#ifdef _WIN32
    static constexpr const char* VARIABLE = "TMP";
    static void setTemporary(const char* value) { _putenv_s(VARIABLE, value != nullptr ? value : ""); }
#else
    static constexpr const char* VARIABLE = "TMPDIR";
    static void setTemporary(const char* value) {
        value != nullptr ? setenv(VARIABLE, value, 1) : unsetenv(VARIABLE);
    }
#endif
    std::string saved = std::getenv(VARIABLE) != nullptr ? std::getenv(VARIABLE) : "";
};
