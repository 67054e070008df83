// The interpreter and the screen, driven by the cases of emulation_scenarios.txt, by random streams and by
// requests no stream makes.  Every stream goes to three sessions: whole to a console that moves blocks
// itself, byte by byte and in random chunks to consoles that take repaints.  All three must end in the same
// state, each console showing its screen.
//
// "[emulation RxC]" runs the cases below it on a console of R rows and C columns.  "stream => checks" is a
// case on fresh sessions; an indented line goes on with the same ones.  Streams and quoted texts take \e \a
// \b \t \n \f \r \0 \xHH and {N*text}; streams also {fill} (row r filled with 'A' + r), {forget} (the console
// calls so far) and {verb N...}: open, show, switch (the session keys), select (the printer-name field),
// refuse (the next N connections fail), type (keys, then dispatched), push (keys left for a wait), state (the
// key state, then dispatched), typeahead (0: a key reaches only the wait that reads it), resize (RxC, a new
// console size, then dispatched).  Checks: @R,C the cursor; R,C:"text" text from column C (0 when left out)
// of row R; R,C="text" the rest of the row, blank after the text; R,C~"fgbg.." attributes, colours kbgcrmyw,
// capital for a bold foreground or a blinking background (a row below the screen is the status line as the
// console shows it); rows="..." each row as its one character, '.' blank, '?' mixed; reply= (none when left
// out), status=, shown= (the cursor's show count), osc= (the title's length), keyN=, printer=, copy=,
// pending= (a close asked for), calls= (the device calls) and log= (the console calls but the cursor
// placements), the last two since last looked at.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <regex>
#include <sstream>

#include "backend/adapnt.h"
#include "terminal_harness.h"

namespace {

constexpr int WAYS = 3;
// An XTERM session on an 80x25 console: one row goes to the status line.
constexpr int CELLS = 24 * 80;

// Each row as its one character, '.' for a blank row, '?' for a mixed one.
std::string rowsOf(const TerminalHarness& h) {
    std::string rows;
    for (int r = 0; r < h.screen().rows; r++) {
        std::string row = h.row(r);
        rows += row.find_first_not_of(row[0]) != std::string::npos ? '?' : row[0] == ' ' ? '.' : row[0];
    }
    return rows;
}

// Row r filled with the letter 'A' + r.
std::string letterRows(const Screen& s) {
    std::string letters = "\x1b[H";
    for (int r = 0; r < s.rows; r++) letters += std::string(s.cols, static_cast<char>('A' + r));
    return letters;
}

class Scenario {
public:
    explicit Scenario(Emulation emulation = XTERM, int consoleRows = 25, int consoleCols = 80) {
        for (auto& way : ways) way = std::make_unique<TerminalHarness>(emulation, consoleRows, consoleCols);
        ways[0]->adapter.blockMoves = true;
        each([](TerminalHarness& h, int) {
            h.device.alwaysOpen = true;
            h.open();
            h.terminal.setPrinter("nul");
            h.clear();
        });
        adapter().logging = true;
    }

    void feed(const std::string& bytes) {
        std::uniform_int_distribution<size_t> chunk(1, 7);
        each([&](TerminalHarness& h, int way) {
            for (size_t at = 0, n; at < bytes.size(); at += n) {
                n = way == 0 ? bytes.size() : way == 1 ? 1 : std::min(bytes.size() - at, chunk(random));
                h.feed(bytes.substr(at, n));
            }
        });
    }

    // The print functions act on the first terminal of a run; each way is a run of its own.
    template <typename Action>
    void each(Action action) {
        for (int i = 0; i < WAYS; i++) {
            firstTerminal = &ways[i]->terminal;
            action(*ways[i], i);
        }
    }

    std::string replies() {
        std::string first = ways[0]->takeReplies();
        for (int i = 1; i < WAYS; i++) EXPECT_EQ(ways[i]->takeReplies(), first) << "way " << i;
        return first;
    }

    TerminalHarness& way0() const { return *ways[0]; }
    Screen& screen() const { return ways[0]->screen(); }
    RecordingAdapter& adapter() const { return ways[0]->adapter; }

    // The ways agree, and each console shows its screen's cells, cursor and drawing attribute.
    ::testing::AssertionResult consistent() const {
        for (int i = 0; i < WAYS; i++) {
            const TerminalHarness& h = *ways[i];
            ::testing::AssertionResult match = cellsMatch(h.terminal, h.adapter);
            if (match && describe(h) != describe(*ways[0]))
                match = ::testing::AssertionFailure() << describe(h) << "\nway 0:\n" << describe(*ways[0]);
            if (!match) return match << " (way " << i << ")";
        }
        return ::testing::AssertionSuccess();
    }

private:
    // Everything a session's interpreter remembers, and its cells.
    static std::string describe(const TerminalHarness& h) {
        const Screen& s = h.screen();
        std::ostringstream out;
        out << (s.state == &Terminal::stateGround) << " cursor " << s.cursor << "/" << s.savedCursor << " modes "
            << s.modes << " region " << s.scrollTop << "-" << s.scrollBottom << " attr " << s.currentAttr << "/"
            << s.sentAttr << " flags " << s.attrFlags << " high " << s.highBit << " shown " << s.cursorShown
            << " params " << s.introducer << s.paramIndex << s.paramFresh << " title "
            << std::string(s.oscText, s.oscLength) << " status " << s.statusText.data();
        for (int32_t p : s.params) out << " " << p;
        for (int k = 0; k < KEY_COUNT; k++)
            out << " " << std::string(reinterpret_cast<const char*>(s.keyDefs[k]), s.keyDefLength[k]);
        for (Cell c : s.cells) out << " " << c;
        return out.str();
    }

    std::unique_ptr<TerminalHarness> ways[WAYS];
    std::mt19937 random{20240229};
};

// Escapes and {N*text} repeats.
std::string decode(const std::string& text) {
    static const std::string names = "eabtnfr0";
    static const std::string codes("\x1b\a\b\t\n\f\r", names.size());
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '{') {
            size_t star = text.find('*', i);
            size_t end = text.find('}', star);
            std::string unit = decode(text.substr(star + 1, end - star - 1));
            for (int n = std::stoi(text.substr(i + 1)); n > 0; n--) out += unit;
            i = end;
        } else if (text[i] != '\\') {
            out += text[i];
        } else if (text[++i] == 'x') {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            size_t k = names.find(text[i]);
            out += k == std::string::npos ? text[i] : codes[k];
        }
    }
    return out;
}

void run(Scenario& s, const std::string& stream) {
    static const std::regex action(R"(\{([a-z]+)((?: \w+)*)\})");
    size_t done = 0;
    for (std::sregex_iterator m(stream.begin(), stream.end(), action), end; m != end; ++m) {
        s.feed(decode(stream.substr(done, m->position() - done)));
        done = m->position() + m->length();
        const std::string verb = (*m)[1];
        std::istringstream args((*m)[2]);
        s.feed(verb == "fill" ? letterRows(s.screen()) : "");
        if (verb == "forget") s.adapter().log.clear();
        for (std::string arg; args >> arg;) {
            int n = arg.size() == 1 && !std::isdigit(arg[0]) ? arg[0] : std::stoi(arg, nullptr, 0);
            s.each([&](TerminalHarness& h, int) {
                if (verb == "type" || verb == "push") h.adapter.pushKey(n);
                if (verb == "open") h.open(n);
                if (verb == "show") h.terminal.showSession(n);
                if (verb == "refuse") h.device.openResults.insert(h.device.openResults.end(), n, 1);
                if (verb == "switch") h.terminal.setSwitch(n);
                if (verb == "state") h.adapter.keyState_ = n;
                if (verb == "select") h.selectPrinter() = n;
                if (verb == "typeahead") h.adapter.typeAhead = n;
                if (verb == "resize") h.adapter.pushResize(n, std::stoi(arg.substr(arg.find('x') + 1)));
            });
        }
        s.each([&](TerminalHarness& h, int) {
            if (verb == "type" || verb == "state" || verb == "resize") h.terminal.pollKeys();
        });
    }
    s.feed(decode(stream.substr(done)));
}

// The entries since the last look, but the cursor placements.
std::string takeCalls(std::vector<std::string>& calls) {
    std::string joined;
    for (const std::string& call : calls)
        if (!call.starts_with("setCursor")) joined += (joined.empty() ? "" : "|") + call;
    calls.clear();
    return joined;
}

std::string probe(Scenario& s, const std::string& name) {
    const Screen& screen = s.screen();
    if (name == "reply") return s.replies();
    if (name == "calls") return takeCalls(s.way0().device.calls);
    if (name == "pending") return std::to_string(s.way0().closePending());
    if (name == "printer") return s.way0().printerName();
    if (name == "copy") return s.way0().copyBuffer().data();
    if (name == "status") return screen.statusText.data();
    if (name == "shown") return std::to_string(screen.cursorShown);
    if (name == "osc") return std::to_string(screen.oscLength);
    if (name == "rows") return rowsOf(s.way0());
    if (name.starts_with("key")) {
        int key = std::stoi(name.substr(3));
        return std::string(reinterpret_cast<const char*>(screen.keyDefs[key]), screen.keyDefLength[key]);
    }
    return takeCalls(s.adapter().log);
}

std::string attributeNames(const Cell* cells, size_t n) {
    static const char colours[] = "kbgcrmyw";
    std::string names;
    for (const Cell* cell = cells; cell < cells + n; cell++) {
        names += static_cast<char>(colours[*cell >> 8 & 7] - (*cell & 0x0800 ? 32 : 0));
        names += static_cast<char>(colours[*cell >> 12 & 7] - (*cell & 0x8000 ? 32 : 0));
    }
    return names;
}

void check(Scenario& s, const std::string& checks) {
    static const std::regex token(R"re(@(\d+),(\d+)|(\w+)(?:,(\d+))?([=:~])(?:"((?:[^"\\]|\\.)*)"|(\S*)))re");
    const Screen& screen = s.screen();
    bool replied = false;
    for (std::sregex_iterator m(checks.begin(), checks.end(), token), end; m != end; ++m) {
        const std::smatch& t = *m;
        const std::string subject = t[3];
        const std::string value = decode(t[6].matched ? t[6].str() : t[7].str());
        if (t[1].matched) {
            EXPECT_EQ(std::pair(screen.cursor / screen.cols, screen.cursor % screen.cols),
                      std::pair(std::stoi(t[1]), std::stoi(t[2])));
        } else if (!std::isdigit(subject[0])) {
            replied |= subject == "reply";
            EXPECT_EQ(probe(s, subject), value) << subject;
        } else {
            // Below the screen: the status line as the console shows it.
            int row = std::stoi(subject);
            bool console = row >= screen.rows;
            size_t column = t[4].matched ? std::stoi(t[4]) : 0;
            std::string text = console ? s.adapter().rowText(row) : s.way0().row(row);
            std::string shown = text.substr(column, t[5] == ":" ? value.size() : std::string::npos);
            const Cell* cells = console ? s.adapter().grid.data() : screen.cells.data();
            if (t[5] == "~") shown = attributeNames(cells + row * screen.cols + column, value.size() / 2);
            EXPECT_EQ(shown, t[5] == "=" ? value + std::string(shown.size() - value.size(), ' ') : value)
                << "row " << row;
        }
    }
    if (!replied) {
        EXPECT_EQ(s.replies(), "");
    }
    EXPECT_TRUE(s.consistent());
}

// Host output from pieces of sequences: parameters of every size, finals that move, edit, scroll and reply,
// colours, controls, runs of text and stray bytes.
std::string randomStream(std::mt19937& random, size_t length) {
    static const char* const pieces[] = {"\x1b", "\x1b[", "\x1b]", "\x1bQ2|", "\x1b(", "\x9b", "?", "=", ";",
                                         "25", "99999999999", "2147483647", "\a", "\r", "\n", "\b", "\t",
                                         "\x0e", "\x0f", "\f", "\x05", "|", "M", "D", "7", "8"};
    static const std::string finals = "HJKLMP@STXrsumhlACEdnctx";
    // Each << is done before the next, so a seed gives one stream whatever the compiler.
    std::ostringstream stream;
    while (static_cast<size_t>(stream.tellp()) < length) {
        switch (random() % 8) {
        case 0:
        case 1: stream << pieces[random() % std::size(pieces)]; break;
        case 2:
        case 3: {
            unsigned second = random() % 2 ? 26 : 82;  // regions that end above the last row too
            stream << "\x1b[" << random() % 30 << ';' << random() % second << finals[random() % finals.size()];
            break;
        }
        case 4: stream << "\x1b[" << 30 + random() % 20 << 'm'; break;
        case 5: stream << static_cast<char>(random()); break;
        default:
            for (unsigned n = random() % 90; n > 0; n--)
                stream << static_cast<char>(random() % 3 ? 'a' + random() % 26 : 0x80 + random() % 0x1B);
        }
    }
    return stream.str();
}

}  // namespace

TEST(Emulation, CasesEndAsExpected) {
    static const std::regex header(R"(\[(\w+) (\d+)x(\d+)\])"), arrow(R"( *(.*?) *(?:=>(.*))?)");
    static const std::string emulations[] = {"scoansi", "vt100", "linux", "xterm"};
    std::ifstream file(std::filesystem::path(__FILE__).parent_path() / "emulation_scenarios.txt");
    std::string console;
    std::smatch m;
    std::unique_ptr<Scenario> s;
    int number = 0;
    for (std::string line; std::getline(file, line);) {
        SCOPED_TRACE("line " + std::to_string(++number));
        if (line[0] == '[') console = line;
        if (line.empty() || line[0] == '#' || line[0] == '[') continue;
        if (line[0] != ' ') {
            ASSERT_TRUE(std::regex_match(console, m, header));
            auto emulation = std::find(emulations, std::end(emulations), m[1]) - emulations;
            s = std::make_unique<Scenario>(static_cast<Emulation>(emulation), std::stoi(m[2]), std::stoi(m[3]));
        }
        ASSERT_TRUE(std::regex_match(line, m, arrow));
        run(*s, m[1]);
        check(*s, m[2]);
    }
    EXPECT_GT(number, 100);
}

TEST(Emulation, RandomStreamsEndTheSameEveryWayWithEveryAccessInside) {
    for (unsigned seed = 1; seed <= 8; seed++) {
        Scenario s(seed % 2 ? XTERM : SCOANSI, seed % 4 ? 25 : 2, seed % 4 ? 80 : 3);
        std::mt19937 random(seed);
        for (int round = 0; round < 12; round++) {
            s.feed(randomStream(random, 3000));
            const Screen& screen = s.screen();
            ASSERT_TRUE(screen.cursor <= screen.rows * screen.cols && 0 <= screen.scrollTop &&
                        screen.scrollTop <= screen.scrollBottom && screen.scrollBottom < screen.rows);
            ASSERT_TRUE(s.consistent()) << "seed " << seed << " round " << round;
            s.adapter().log.clear();
        }
        EXPECT_GT(s.adapter().moveCalls, 0);
    }
}

// POSIX only: it reads the stand-in console's buffer, which Windows does not have.
#ifndef _WIN32
// The console adapter moves blocks of whole rows or of one row on the console.
TEST(Emulation, RandomStreamsShowOnTheConsoleThroughTheConsoleAdapter) {
    ConsoleOutput console(80, 25);
    ConsoleInput input{-1, true};
    SetStdHandle(STD_OUTPUT_HANDLE, &console);
    SetStdHandle(STD_INPUT_HANDLE, &input);
    {
        AdapNT adapter(KEYBOARD_AMERICAN, 0);
        ScriptedDevice device;
        device.alwaysOpen = true;
        Terminal terminal(&adapter, &device, XTERM, 0, 0);
        terminal.openSession(0);
        auto shown = [&]() {
            std::vector<ConsoleCell> held, cells = console.snapshot();
            for (Cell cell : TerminalHarness::shown(terminal)->cells)
                held.push_back({static_cast<unsigned char>(cell & 0xFF), static_cast<WORD>(cell >> 8 & 0x7F)});
            held.resize(CELLS);
            cells.resize(CELLS);
            return cells == held;
        };
        std::mt19937 random(9);
        for (int round = 0; round < 20; round++) {
            std::string stream = randomStream(random, 3000);
            terminal.feedBytes(stream.data(), static_cast<int>(stream.size()));
            ASSERT_TRUE(shown()) << "round " << round;
        }
        // Whole rows and pieces of a row move on the console; other blocks are no rectangle, and the adapter
        // declines them.
        EXPECT_TRUE(adapter.moveBlock(80, 0, 800) && !adapter.moveBlock(5, 100, 200) && !adapter.moveBlock(2, 4, 0));
        std::string cells = "\x1b[H";  // no two neighbours alike
        for (int i = 1; i < CELLS; i++) cells += static_cast<char>('a' + i % 23);
        terminal.feedBytes(cells.data(), static_cast<int>(cells.size()));
        const int moves[][3] = {{5, 100, 200}, {900, 850, 333}, {900, 905, 20}, {963, 960, 9}, {960, 80, 800}};
        for (const auto& [from, to, count] : moves) terminal.moveCells(from, to, count);
        EXPECT_TRUE(shown());
    }
    SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
    SetStdHandle(STD_INPUT_HANDLE, nullptr);
}
#endif

// A huge count of erased characters leaves the screen of the whole count printed as spaces, for the work of a
// few screenfuls.  The last setups leave text on the last row or on the bottom row of an otherwise blank
// region, the last for a count that ends one space into the row after.
TEST(Emulation, HugeErasesGiveTheScreenOfTheirWholeCount) {
    for (const char* setup : {"{fill}\\e[11;6H", "\\e[3;12r\\e[12m\\e[44m{fill}\\e[21;8H",
                              "{1920*x}\\e[2;23r\\e[31m", "\\e[5;24r\\e[12m{fill}\\e[3;71H",
                              "\\e[20Ht\\e[1;20r\\e[24H", "\\e[24H{50*t}\\e[1;20r\\e[24;45H"}) {
        for (auto [count, printed] : {std::pair(4 * CELLS + 37, 4 * CELLS + 37),
                                      std::pair(INT32_MAX, 4 * CELLS + INT32_MAX % 80)}) {
            Scenario erased, typed;
            run(erased, setup);
            run(typed, setup + std::string(printed, ' '));
            int fills = erased.adapter().fillCalls;
            erased.feed("\x1b[" + std::to_string(count) + "X");
            EXPECT_LE(erased.adapter().fillCalls - fills, 3 * CELLS);
            EXPECT_EQ(erased.screen().cells, typed.screen().cells) << setup;
            EXPECT_TRUE(erased.consistent());
        }
    }
}

TEST(Screen, HasACellAtLeastAndStoresNothingPastTheSpareRow) {
    EXPECT_EQ(Screen(0, -3).cells.size(), 2u);  // one cell and its spare row
    Screen screen(2, 4);
    screen.cursor = 10;
    screen.storeCells('y', 5);
    EXPECT_EQ(screen.cursor, 15);
    EXPECT_EQ(screen.cells[11], 'y');
}
