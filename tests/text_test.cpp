// A UTF-8 host's text decoded to code page 437, and our code page 437 text encoded for it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "text/utf8.h"

namespace {

using Decoded = Utf8Decoder::Decoded;

// A decoded character, written so that a mismatch reads well: printable ASCII as itself, other bytes for the
// interpreter as <9B>, glyphs as [82].
std::string written(Decoded result) {
    char text[8];
    if (result.glyph)
        std::snprintf(text, sizeof text, "[%02X]", result.byte);
    else if (result.byte >= 0x20 && result.byte < 0x7F)
        std::snprintf(text, sizeof text, "%c", result.byte);
    else
        std::snprintf(text, sizeof text, "<%02X>", result.byte);
    return text;
}

std::string decoded(const std::string& bytes, Utf8Decoder* decoder = nullptr) {
    Utf8Decoder fresh;
    std::string text;
    for (char byte : bytes) {
        Decoded results[Utf8Decoder::MAX_DECODED];
        int count = (decoder != nullptr ? *decoder : fresh).decode(static_cast<unsigned char>(byte), results);
        for (int i = 0; i < count; i++) text += written(results[i]);
    }
    return text;
}

}  // namespace

TEST(Utf8Decoder, ACharacterIsDecodedWhenItsLastByteArrivesWhereverTheReadsSplitIt) {
    // No 4-byte character is in code page 437.
    const std::pair<std::string, std::string> forms[] = {
        {"\xC3\xA9", "[82]"}, {"\xC2\x9B", "<9B>"}, {"\xE2\x94\x80", "[C4]"}, {"\xF0\x9F\x98\x80", "?"}};
    for (const auto& [bytes, expected] : forms) {
        for (size_t split = 1; split < bytes.size(); split++) {
            Utf8Decoder decoder;
            EXPECT_EQ(decoded(std::string("a").append(bytes, 0, split), &decoder), "a") << split;
            // The session's decoder is a value: a copy goes on where it stood.
            Utf8Decoder copy = decoder;
            EXPECT_EQ(decoded(bytes.substr(split) + "b", &copy), expected + "b") << split;
        }
    }
}

TEST(Utf8Decoder, CharactersShowAsTheirCodePageGlyphsAndC1StaysControl) {
    const std::pair<std::string, const char*> cases[] = {
        {"caf\xC3\xA9 \xC3\xBC \xC2\xA3 \xC3\x9F", "caf[82] [81] [9C] [E1]"},  // é ü £ ß
        {"\xE2\x94\x8C\xE2\x94\x80\xE2\x94\x90\xE2\x95\x90", "[DA][C4][BF][CD]"},  // ┌─┐═
        {"\xE2\x96\x91\xE2\x96\x92\xE2\x96\x93\xE2\x96\x88", "[B0][B1][B2][DB]"},  // ░▒▓█
        {"\xE2\x86\x90\xE2\x86\x92\xE2\x86\x91\xE2\x86\x93", "[1B][1A][18][19]"},  // ←→↑↓
        {"\xCE\xB1\xCE\xA3\xCF\x80\xCE\xA9", "[E0][E4][E3][EA]"},  // αΣπΩ
        {"\xC2\xA2\xC2\xA7\xC2\xA0", "[9B][15][FF]"},  // ¢ is no CSI, § no control
        {"\xE2\x82\xAC\xC5\x9B\xC2\xA9\xEF\xBF\xBD", "????"},  // € ś © U+FFFD: not in the code page
        {"\x1B[6n\x7F", "<1B>[6n<7F>"},  // ASCII controls as themselves
    };
    for (const auto& [bytes, expected] : cases) EXPECT_EQ(decoded(bytes), expected) << expected;
    for (int byte = 0x80; byte < 0xA0; byte++)
        EXPECT_EQ(decoded(std::string("\xC2") + static_cast<char>(byte)),
                  written({static_cast<unsigned char>(byte), false}));
}

TEST(Utf8Decoder, MalformedInputIsOneQuestionMarkPerSequenceAndNeverAControl) {
    const std::pair<std::string, const char*> cases[] = {
        {"\x80\xBF\x9B", "???"},  // stray continuation bytes
        {"\xC0\x9B\xC1\xBF", "????"},  // overlong two-byte forms: C0, C1 lead nothing
        {"\xE0\x82\x9B", "???"},  // overlong CSI in three bytes
        {"\xF0\x80\x82\x9B", "????"},  // and in four
        {"\xED\xA0\x80", "???"},  // a surrogate
        {"\xF4\x90\x80\x80\xF5\xFF", "??????"},  // above U+10FFFF, and leads of nothing
        {"\xC3" "A\xE2\x94" "B\xF0\x9F\x98" "C", "?A?B?C"},  // cut short: one '?' each
        {"\xE2\x94\x1B[6n", "?<1B>[6n"},  // the byte that cuts short counts afresh
        {"\xC3\xC3\xA9\xE2\xC2\x9B", "?[82]?<9B>"},  // a lead cut short by the next lead
        {std::string("\xC2\x00", 2), "?<00>"},
    };
    for (const auto& [bytes, expected] : cases) EXPECT_EQ(decoded(bytes), expected) << expected;
}

TEST(Utf8ForHost, ControlBytesGoAsThemselvesEveryOtherByteAsItsCharacter) {
    EXPECT_EQ(utf8ForHost("caf\x82\r\x1B[A\x7F\x9B\xC4"), "caf\xC3\xA9\r\x1B[A\x7F\xC2\xA2\xE2\x94\x80");
    // What we send, a UTF-8 host reads back as the same byte: every glyph from 0x80 up as a glyph, the rest
    // as itself.
    for (int byte = 0; byte < 0x100; byte++) {
        std::string sent;
        appendUtf8ForHost(sent, static_cast<unsigned char>(byte));
        EXPECT_EQ(decoded(sent), written({static_cast<unsigned char>(byte), byte >= 0x80}));
    }
}
