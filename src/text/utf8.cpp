// UTF-8 to code page 437 for what a host sends, and back for what it is sent.
#include "text/utf8.h"

#include "text/cp437.h"

namespace {

using Decoded = Utf8Decoder::Decoded;

constexpr unsigned char REPLACEMENT = '?';
// Characters below this reach the interpreter as their own byte (ASCII and
// the C1 controls); from here on they are glyphs.
constexpr char32_t FIRST_GLYPH = 0xA0;
constexpr unsigned char FIRST_PRINTABLE = 0x20;
constexpr unsigned char DEL = 0x7F;

constexpr unsigned char CONTINUATION_FIRST = 0x80;
constexpr unsigned char CONTINUATION_LAST = 0xBF;
constexpr unsigned char CONTINUATION_BITS = 0x3F;

// The lead bytes of well-formed characters, with the range of the byte that
// follows each: narrower where the full range would give an overlong form, a
// surrogate or a character above U+10FFFF.  C0, C1 and F5 to FF lead nothing.
struct Lead {
    unsigned char first, last;
    uint8_t continuations;
    unsigned char lowest, highest;
};
constexpr Lead LEADS[] = {
    {0xC2, 0xDF, 1, CONTINUATION_FIRST, CONTINUATION_LAST},
    {0xE0, 0xE0, 2, 0xA0, CONTINUATION_LAST},  // below 0xA0: overlong
    {0xE1, 0xEC, 2, CONTINUATION_FIRST, CONTINUATION_LAST},
    {0xED, 0xED, 2, CONTINUATION_FIRST, 0x9F},  // above 0x9F: surrogates
    {0xEE, 0xEF, 2, CONTINUATION_FIRST, CONTINUATION_LAST},
    {0xF0, 0xF0, 3, 0x90, CONTINUATION_LAST},  // below 0x90: overlong
    {0xF1, 0xF3, 3, CONTINUATION_FIRST, CONTINUATION_LAST},
    {0xF4, 0xF4, 3, CONTINUATION_FIRST, 0x8F},  // above 0x8F: beyond U+10FFFF
};

Decoded decodedCharacter(char32_t character) {
    if (character < FIRST_GLYPH) return {static_cast<unsigned char>(character), false};
    int byte = unicodeToCp437(character);
    if (byte < 0) return {REPLACEMENT, false};
    return {static_cast<unsigned char>(byte), true};
}

}  // namespace

int Utf8Decoder::decode(unsigned char byte, Decoded (&decoded)[MAX_DECODED]) {
    int count = 0;
    if (missing > 0) {
        if (byte >= lowest && byte <= highest) {
            character = (character << 6) | (byte & CONTINUATION_BITS);
            lowest = CONTINUATION_FIRST;
            highest = CONTINUATION_LAST;
            if (--missing == 0) decoded[count++] = decodedCharacter(character);
            return count;
        }
        // The character ends malformed here; the byte is looked at afresh.
        missing = 0;
        decoded[count++] = {REPLACEMENT, false};
    }
    if (byte < CONTINUATION_FIRST)
        decoded[count++] = decodedCharacter(byte);
    else if (!start(byte))
        decoded[count++] = {REPLACEMENT, false};
    return count;
}

bool Utf8Decoder::start(unsigned char lead) {
    for (const Lead& form : LEADS) {
        if (lead < form.first || lead > form.last) continue;
        // The lead's own bits: those below its leading ones and their zero.
        character = lead & (0x7F >> (form.continuations + 1));
        missing = form.continuations;
        lowest = form.lowest;
        highest = form.highest;
        return true;
    }
    return false;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    // The leading bits of the first byte count the bytes; each later byte
    // carries six bits under 10.
    int continuations = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    unsigned lead = (0xFF00u >> (continuations + 1)) & 0xFFu;
    out += static_cast<char>(lead | (c >> (6 * continuations)));
    for (int shift = 6 * (continuations - 1); shift >= 0; shift -= 6)
        out += static_cast<char>(CONTINUATION_FIRST | ((c >> shift) & CONTINUATION_BITS));
}

void appendUtf8ForHost(std::string& out, unsigned char byte) {
    // Control bytes act at the host; their glyphs are for the console only.
    if (byte < FIRST_PRINTABLE || byte == DEL)
        out += static_cast<char>(byte);
    else
        appendCp437AsUtf8(out, byte);
}

std::string utf8ForHost(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char byte : text) appendUtf8ForHost(out, static_cast<unsigned char>(byte));
    return out;
}
