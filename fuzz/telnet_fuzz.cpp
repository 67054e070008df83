// What a Telnet server sends, given to the protocol of a new connection in
// pieces.  Whatever the pieces and however little data a call may give, the
// data and the replies must be the same, and every reply a whole Telnet
// command; the client's own bytes go out with every IAC doubled.
//
// Input: byte 0 the data room per call (low nibble, 0 for no limit) and the
// number of piece lengths that follow (high nibble); then those lengths; the
// rest is the stream.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "backend/telnet.h"

namespace {

constexpr unsigned char IAC = 255;
constexpr unsigned char SB = 250;
constexpr unsigned char SE = 240;
constexpr unsigned char WILL = 251;
constexpr unsigned char DONT = 254;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "telnet_fuzz: %s\n", what);
    std::abort();
}

struct Outcome {
    std::string data;
    std::string replies;
    bool echoesLocally = false;
    bool operator==(const Outcome&) const = default;
};

Outcome deliver(std::string_view stream, const std::vector<size_t>& pieces, size_t room) {
    TelnetProtocol telnet;
    telnet.describeTerminal("xterm", 24, 80);
    Outcome outcome;
    for (size_t length : pieces) {
        std::string_view piece = stream.substr(0, length);
        stream.remove_prefix(piece.size());
        while (!piece.empty()) {
            size_t before = outcome.data.size();
            size_t taken = telnet.receive(piece, room, outcome.data, outcome.replies);
            if (taken == 0 || taken > piece.size()) fail("took no bytes or more than given");
            if (outcome.data.size() - before > room) fail("gave more data than there was room for");
            piece.remove_prefix(taken);
        }
    }
    outcome.echoesLocally = telnet.echoesLocally();
    return outcome;
}

// Every reply is IAC WILL/WONT/DO/DONT option, or IAC SB ... IAC SE with any
// IAC inside doubled.
void checkReplies(const std::string& replies) {
    size_t i = 0;
    auto byte = [&replies](size_t at) { return static_cast<unsigned char>(replies[at]); };
    while (i < replies.size()) {
        if (byte(i) != IAC || i + 1 >= replies.size()) fail("reply is not a command");
        unsigned char command = byte(i + 1);
        if (command >= WILL && command <= DONT) {
            if (i + 2 >= replies.size()) fail("negotiation without its option");
            i += 3;
            continue;
        }
        if (command != SB) fail("unexpected command in the replies");
        for (i += 2;; i++) {
            if (i >= replies.size()) fail("subnegotiation not closed");
            if (byte(i) != IAC) continue;
            if (i + 1 >= replies.size()) fail("subnegotiation ends in a lone IAC");
            if (byte(i + 1) == SE) break;
            if (byte(i + 1) != IAC) fail("undoubled IAC inside a subnegotiation");
            i++;
        }
        i += 2;
    }
}

void checkEncoding(const std::string& bytes) {
    std::string expected;
    for (char c : bytes) {
        expected += c;
        if (static_cast<unsigned char>(c) == IAC) expected += c;
    }
    if (TelnetProtocol::encode(bytes) != expected) fail("sent bytes without IAC doubled");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t room = (data[0] & 0x0F) == 0 ? SIZE_MAX : data[0] & 0x0F;
    size_t cuts = data[0] >> 4;
    if (size < 1 + cuts) return 0;
    std::string stream(reinterpret_cast<const char*>(data + 1 + cuts), size - 1 - cuts);
    std::vector<size_t> pieces;
    for (size_t i = 0; i < cuts; i++) pieces.push_back(1 + data[1 + i]);
    pieces.push_back(stream.size());

    Outcome whole = deliver(stream, {stream.size()}, SIZE_MAX);
    checkReplies(whole.replies);
    if (whole.data.size() > stream.size()) fail("more data than received");
    if (deliver(stream, pieces, room) != whole) fail("the pieces changed the result");
    if (deliver(stream, std::vector<size_t>(stream.size(), 1), room) != whole)
        fail("byte-by-byte delivery changed the result");
    checkEncoding(stream);
    return 0;
}
