// UTF-8 for a host that speaks it: what the host sends is decoded to the
// code page 437 bytes that the interpreter and the console know, and the code
// page 437 text that goes to the host is encoded as UTF-8.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Decodes a host's UTF-8 one received byte at a time.  An unfinished
// character is kept between calls, so a character split across reads is
// decoded when its last byte arrives.  A small value with no allocation: each
// session keeps its own.
class Utf8Decoder {
public:
    // A decoded character.  A byte for the interpreter (glyph false) is
    // U+0000 to U+009F as the byte an 8-bit host sends for it (0x80 to 0x9F
    // the C1 controls), or '?' for malformed input and for a character that
    // code page 437 lacks.  A glyph is the code page 437 byte that shows a
    // character from U+00A0 up: it is to be shown, never acted on, whatever
    // its value (the arrows share theirs with control bytes, the cent sign
    // with CSI).
    struct Decoded {
        unsigned char byte;
        bool glyph;
    };
    // A byte that cuts an unfinished character short yields a '?' for that
    // character and then what the byte decodes to as a start of its own.
    static constexpr int MAX_DECODED = 2;

    // Takes the next received byte and returns how many characters it
    // completes (none while a character is unfinished).
    int decode(unsigned char byte, Decoded (&decoded)[MAX_DECODED]);
    // No character is unfinished: an ASCII byte now stands for itself.
    bool idle() const { return missing == 0; }

private:
    bool start(unsigned char lead);

    char32_t character = 0;  // the bits of the unfinished character so far
    uint8_t missing = 0;     // its continuation bytes still to come
    // Where its next continuation byte must lie: after some lead bytes the
    // second byte's range is narrower, so that an overlong form, a surrogate
    // or a character above U+10FFFF is found malformed there.
    uint8_t lowest = 0;
    uint8_t highest = 0;
};

// A character beyond U+FFFF as the console's UTF-16 gives it: two halves,
// each carrying 10 bits of its distance from SUPPLEMENTARY_FIRST.
constexpr char16_t HIGH_SURROGATE_FIRST = 0xD800;
constexpr char16_t LOW_SURROGATE_FIRST = 0xDC00;
constexpr char16_t LOW_SURROGATE_LAST = 0xDFFF;
constexpr char32_t SUPPLEMENTARY_FIRST = 0x10000;

// Appends the UTF-8 form of a character (U+0000 to U+10FFFF).
void appendUtf8(std::string& out, char32_t character);
// Appends the UTF-8 that sends a code page 437 byte to a host: a control
// byte (0x00 to 0x1F, 0x7F) goes as itself, any other byte as the character
// it shows.
void appendUtf8ForHost(std::string& out, unsigned char byte);
// A code page 437 text as UTF-8 for a host, byte by byte as above.
std::string utf8ForHost(std::string_view text);
