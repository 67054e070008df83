// Host byte streams fed to three fresh sessions at once: whole, byte by byte
// and in random chunks.  All three must end in the same state, each with its
// console showing exactly its cells.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "terminal_harness.h"

// The emulated screen of an XTERM session on an 80x25 console.
constexpr int ROWS = 24;
constexpr int COLS = 80;
const std::string X80(COLS, 'x');
const std::string BLANK80(COLS, ' ');

inline std::string at(int row, int column) {
    return "\x1b[" + std::to_string(row + 1) + ";" + std::to_string(column + 1) + "H";
}

class Scenario {
public:
    explicit Scenario(Emulation emulation = XTERM, int consoleRows = ROWS + 1, int consoleCols = COLS) {
        for (auto& way : ways) way = std::make_unique<TerminalHarness>(emulation, consoleRows, consoleCols);
        each([](TerminalHarness& h) {
            h.open();
            h.terminal.setPrinter("nul");
            h.clear();
            h.takeReplies();
        });
    }

    void feed(const std::string& bytes) {
        std::uniform_int_distribution<size_t> chunk(1, 7);
        for (int i = 0; i < WAYS; i++) {
            use(i);
            for (size_t at = 0; at < bytes.size();) {
                size_t n = i == 0 ? bytes.size() : i == 1 ? 1 : std::min(bytes.size() - at, chunk(random));
                ways[i]->feed(bytes.substr(at, n));
                at += n;
            }
        }
    }

    // On every way: a key typed and dispatched as the main loop does, a
    // session opened, a session shown.
    void type(int key) { each([key](TerminalHarness& h) { h.adapter.pushKey(key); h.terminal.pollKeys(); }); }
    void open(int n) { each([n](TerminalHarness& h) { h.open(n); }); }
    void show(int n) { each([n](TerminalHarness& h) { h.terminal.showSession(n); }); }

    // Everything queued for the host; the three ways must agree.
    std::string replies() {
        std::string first = ways[0]->takeReplies();
        for (int i = 1; i < WAYS; i++) EXPECT_EQ(ways[i]->takeReplies(), first) << "way " << i;
        return first;
    }

    Terminal& terminal() const { return ways[0]->terminal; }
    RecordingAdapter& adapter() const { return ways[0]->adapter; }
    Screen& screen() const { return ways[0]->screen(); }
    std::string text(int r, int c, size_t n) const { return ways[0]->row(r).substr(c, n); }
    int attrAt(int r, int c) const { return ways[0]->attrAt(r, c); }
    int cursorRow() const { return ways[0]->cursorRow(); }
    int cursorCol() const { return ways[0]->cursorCol(); }

    // The three ways agree, and every console shows its screen's cells.
    ::testing::AssertionResult consistent() const {
        for (int i = 0; i < WAYS; i++) {
            ::testing::AssertionResult match = cellsMatch(ways[i]->terminal, ways[i]->adapter);
            if (!match) return match << " (way " << i << ")";
            if (describe(*ways[i]) != describe(*ways[0]))
                return ::testing::AssertionFailure()
                       << "way " << i << ":\n" << describe(*ways[i]) << "\nway 0:\n" << describe(*ways[0]);
        }
        return ::testing::AssertionSuccess();
    }

private:
    static constexpr int WAYS = 3;

    // The print functions act on the first terminal of a run; each way is a
    // run of its own.
    void use(int i) const { firstTerminal = &ways[i]->terminal; }

    template <typename Action>
    void each(Action action) {
        for (int i = 0; i < WAYS; i++) {
            use(i);
            action(*ways[i]);
        }
    }

    // Everything a session's interpreter remembers, and its cells.
    static std::string describe(const TerminalHarness& h) {
        const Screen& s = h.screen();
        std::ostringstream out;
        out << (s.state == &Terminal::stateGround) << " cursor " << s.cursor << "/" << s.savedCursor
            << " modes " << s.modes << " region " << s.scrollTop << "-" << s.scrollBottom << " attr "
            << s.currentAttr << "/" << s.sentAttr << " flags " << s.attrFlags << " high " << s.highBit
            << " shown " << s.cursorShown << "/" << h.adapter.cursorVisible << " params "
            << s.introducer << s.paramIndex << s.paramFresh;
        for (int32_t p : s.params) out << " " << p;
        out << " title " << std::string(s.oscText, s.oscLength) << " status " << s.statusText.data()
            << " queue " << s.keyQueueHead << " keys";
        for (int k = 0; k < KEY_COUNT; k++)
            out << " " << std::string(reinterpret_cast<const char*>(s.keyDefs[k]), s.keyDefLength[k]);
        out << " cells";
        for (Cell c : s.cells) out << " " << c;
        return out.str();
    }

    std::unique_ptr<TerminalHarness> ways[WAYS];
    std::mt19937 random{20240229};
};

// Text that a stream must leave from a column of a row.
struct Text {
    int row;
    int column;
    std::string text;
};

// A stream, what it leaves on the screen and where it leaves the cursor
// (a row of -1: anywhere).
struct Case {
    std::string stream;
    std::vector<Text> texts;
    int cursorRow = -1;
    int cursorCol = -1;
};

inline void check(const Case& c) {
    Scenario s;
    s.feed(c.stream);
    std::string name = ::testing::PrintToString(c.stream);
    for (const Text& t : c.texts)
        EXPECT_EQ(s.text(t.row, t.column, t.text.size()), t.text) << name << " row " << t.row;
    if (c.cursorRow >= 0) {
        EXPECT_EQ(std::pair(s.cursorRow(), s.cursorCol()), std::pair(c.cursorRow, c.cursorCol)) << name;
    }
    EXPECT_TRUE(s.consistent()) << name;
}

// Each test's scenario must end consistent, whatever the test looked at.
class ScenarioTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(s.consistent()); }
    Scenario s;
};
