// The spool copy, the same on every platform: it needs nothing of a platform
// but its printers.
#include "platform/platform.h"

namespace {

constexpr int COPY_BLOCK_SIZE = 4096;

}  // namespace

bool copyToPrinter(const char* path, const char* printer) {
    FILE* in = std::fopen(path, "rb");
    if (in == nullptr) return false;
    FILE* out = openPrinter(printer);
    if (out == nullptr) {
        std::fclose(in);
        return false;
    }
    char block[COPY_BLOCK_SIZE];
    bool complete = true;
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, in)) > 0) {
        if (std::fwrite(block, 1, n, out) != n) complete = false;
    }
    if (std::ferror(in)) complete = false;
    std::fclose(in);
    if (std::fflush(out) != 0) complete = false;
    closePrinter(out);
    return complete;
}

