// A host's bytes through the UTF-8 decoder: every byte it yields other than
// '?' is its character's exact encoding, just received, so no control byte
// and no raw byte above 0x7F comes out of malformed input.
//
// Input: the host's bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "text/cp437.h"
#include "text/utf8.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "utf8_fuzz: %s\n", what);
    std::abort();
}

// The UTF-8 a decoded byte comes from.
std::string encoding(Utf8Decoder::Decoded decoded) {
    std::string bytes;
    if (decoded.glyph)
        appendCp437AsUtf8(bytes, decoded.byte);
    else if (decoded.byte < 0x80)
        bytes += static_cast<char>(decoded.byte);
    else if (decoded.byte < 0xA0)
        bytes = {'\xC2', static_cast<char>(decoded.byte)};
    else
        fail("a byte above 0x9F that is no glyph");
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Utf8Decoder decoder;
    std::string received;
    for (size_t i = 0; i < size; i++) {
        received += static_cast<char>(data[i]);
        Utf8Decoder::Decoded decoded[Utf8Decoder::MAX_DECODED];
        int count = decoder.decode(data[i], decoded);
        if (count < 0 || count > Utf8Decoder::MAX_DECODED) fail("count out of range");
        for (int k = 0; k < count; k++) {
            if (!decoded[k].glyph && decoded[k].byte == '?') continue;
            if (k != count - 1 || !received.ends_with(encoding(decoded[k])))
                fail("a byte that is not the encoding just received");
        }
    }
    return 0;
}
