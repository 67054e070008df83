// The four host streams: plain text, the same text in dense colours, a
// full-screen cursor-addressed redraw, and scrolling in a region with line
// insertion and deletion.  Each is generated once, from a fixed seed.
#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "bench_support.h"

namespace {

// splitmix64: small, and the same numbers everywhere (the standard
// distributions are not).
class Random {
public:
    explicit Random(uint64_t seed) : state(seed) {}
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [low, high].
    int between(int low, int high) {
        return low + static_cast<int>(next() % static_cast<uint64_t>(high - low + 1));
    }
    bool chance(int percent) { return between(1, 100) <= percent; }

private:
    uint64_t state;
};

size_t streamBytes = DEFAULT_STREAM_BYTES;

constexpr uint64_t TEXT_SEED = 1;
constexpr uint64_t COLOUR_SEED = 2;
constexpr uint64_t CURSOR_SEED = 3;
constexpr uint64_t SCROLL_SEED = 4;

constexpr int MAX_LINE = 130;
constexpr int SPACE_PERCENT = 15;
// Dense colour: a rendition change every 1 to 8 characters.
constexpr int MAX_COLOUR_RUN = 8;
// A redraw puts 1 to 4 fields on every row, each of at most this many characters.
constexpr int MAX_FIELDS = 4;
constexpr int MAX_FIELD = 16;
// Scrolling: the region, output lines in batches, and the share of the
// edits that insert or delete lines instead.
constexpr int REGION_TOP = 3;
constexpr int REGION_BOTTOM = 22;
constexpr int MAX_BATCH = 8;
constexpr int INSERT_PERCENT = 20;
constexpr int DELETE_PERCENT = 20;
constexpr int MAX_LINES_EDITED = 3;

void appendSequence(std::string& out, const char* format, int a, int b = 0) {
    char text[32];
    int n = std::snprintf(text, sizeof text, format, a, b);
    out.append(text, static_cast<size_t>(n));
}

char textCharacter(Random& random) {
    if (random.chance(SPACE_PERCENT)) return ' ';
    return static_cast<char>(random.between('!', '~'));
}

void appendText(std::string& out, Random& random, int length) {
    for (int i = 0; i < length; i++) out += textCharacter(random);
}

// Foreground, background, both, bold with a foreground, or reset.
void appendRendition(std::string& out, Random& random) {
    switch (random.between(0, 4)) {
    case 0: appendSequence(out, "\x1b[%dm", 30 + random.between(0, 7)); break;
    case 1: appendSequence(out, "\x1b[%dm", 40 + random.between(0, 7)); break;
    case 2: appendSequence(out, "\x1b[%d;%dm", 30 + random.between(0, 7), 40 + random.between(0, 7)); break;
    case 3: appendSequence(out, "\x1b[1;%dm", 30 + random.between(0, 7)); break;
    default: out += "\x1b[0m"; break;
    }
}

void appendLineEnd(std::string& out, Random& random) { out += random.chance(50) ? "\r\n" : "\n"; }

// Lines of 0 to 130 columns, so that some wrap, ended by LF or CR LF.  With
// colours, the same text is cut into runs by rendition changes drawn from
// a second generator.
std::string textStream(bool coloured) {
    std::string out;
    out.reserve(streamBytes + MAX_LINE * 16);
    Random text(TEXT_SEED);
    Random colour(COLOUR_SEED);
    while (out.size() < streamBytes) {
        int length = text.between(0, MAX_LINE);
        int untilChange = 0;
        for (int i = 0; i < length; i++) {
            if (coloured && untilChange-- == 0) {
                appendRendition(out, colour);
                untilChange = colour.between(0, MAX_COLOUR_RUN - 1);
            }
            out += textCharacter(text);
        }
        appendLineEnd(out, text);
    }
    return out;
}

void appendCursorPosition(std::string& out, int row, int column) {
    appendSequence(out, "\x1b[%d;%dH", row, column);
}

// A process monitor's redraw: every row gets a few short fields at fixed
// places, the rest of the row erased.
std::string cursorStream() {
    std::string out;
    out.reserve(streamBytes + SCREEN_ROWS * SCREEN_COLUMNS * 2);
    Random random(CURSOR_SEED);
    while (out.size() < streamBytes) {
        for (int row = 1; row <= SCREEN_ROWS; row++) {
            int fields = random.between(1, MAX_FIELDS);
            int column = 1;
            for (int f = 0; f < fields && column < SCREEN_COLUMNS; f++) {
                int length = random.between(1, std::min(MAX_FIELD, SCREEN_COLUMNS + 1 - column));
                appendCursorPosition(out, row, column);
                appendText(out, random, length);
                column += length + random.between(1, SCREEN_COLUMNS / MAX_FIELDS);
            }
            out += "\x1b[K";
        }
    }
    return out;
}

// Output scrolling at the bottom of a region, mixed with lines inserted and
// deleted inside it, as an editor or a mail reader does.
std::string scrollStream() {
    std::string out;
    out.reserve(streamBytes + MAX_BATCH * SCREEN_COLUMNS * 2);
    Random random(SCROLL_SEED);
    appendSequence(out, "\x1b[2J\x1b[%d;%dr", REGION_TOP, REGION_BOTTOM);
    while (out.size() < streamBytes) {
        int choice = random.between(1, 100);
        if (choice <= INSERT_PERCENT + DELETE_PERCENT) {
            appendCursorPosition(out, random.between(REGION_TOP, REGION_BOTTOM), 1);
            appendSequence(out, choice <= INSERT_PERCENT ? "\x1b[%dL" : "\x1b[%dM",
                           random.between(1, MAX_LINES_EDITED));
            appendText(out, random, random.between(0, SCREEN_COLUMNS - 1));
            continue;
        }
        appendCursorPosition(out, REGION_BOTTOM, 1);
        for (int lines = random.between(1, MAX_BATCH); lines > 0; lines--) {
            appendText(out, random, random.between(0, SCREEN_COLUMNS - 1));
            out += "\r\n";
        }
    }
    return out;
}

std::string makeStream(StreamKind kind) {
    std::string out;
    switch (kind) {
    case StreamKind::Plain: out = textStream(false); break;
    case StreamKind::Colour: out = textStream(true); break;
    case StreamKind::Cursor: out = cursorStream(); break;
    case StreamKind::Scroll: out = scrollStream(); break;
    }
    out.resize(streamBytes);
    return out;
}

}  // namespace

void setStreamBytes(size_t bytes) { streamBytes = bytes; }

const std::string& hostStream(StreamKind kind) {
    static std::array<std::string, 4> streams;
    std::string& stream = streams[static_cast<size_t>(kind)];
    if (stream.empty()) stream = makeStream(kind);
    return stream;
}

const char* streamName(StreamKind kind) {
    switch (kind) {
    case StreamKind::Plain: return "plain";
    case StreamKind::Colour: return "colour";
    case StreamKind::Cursor: return "cursor";
    case StreamKind::Scroll: return "scroll";
    }
    return "";
}
