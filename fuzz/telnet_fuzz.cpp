// What a Telnet server sends, delivered to a DevTel session over a socket
// pair in pieces.  Whatever the pieces, the data handed to the terminal and
// the answers sent back must be the same, and every answer must be a whole
// Telnet command.
//
// Input: byte 0 the read size (low nibble) and the number of piece lengths
// that follow (high nibble); then those lengths; the rest is the stream.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "backend/devtel.h"
#include "terminal/terminal.h"

namespace {

constexpr unsigned char IAC = 255;
constexpr unsigned char SB = 250;
constexpr unsigned char SE = 240;
constexpr unsigned char WILL = 251;
constexpr unsigned char DONT = 254;

// Three bytes of a stream (IAC DO NAWS) make the client send twice, and a
// socket pair holds a few hundred small sends that nobody reads; beyond that
// the client drops its answers, as it must when the network would block.  A
// delivery in one piece answers the whole stream before the host reads, so
// streams stay short enough for every answer to fit.
constexpr size_t MAX_STREAM = 384;
// Bytes the terminal's write sends back through the session.
constexpr size_t WRITE_SAMPLE = 64;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "telnet_fuzz: %s\n", what);
    std::abort();
}

struct Outcome {
    std::string data;
    std::string replies;
    int localEcho;
    int remoteEcho;
    bool operator==(const Outcome&) const = default;
};

// Session 0 of a DevTel on one end of a socket pair; the fuzzer is the host
// on the other end.
class Link {
public:
    Link() : device("fuzz.example") {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) fail("socketpair");
        host = ends[1];
        TelSession& session = device.sessions[0];
        session.socket = ends[0];
        session.connected = 1;
        unsigned long nonBlocking = 1;
        ioctlsocket(ends[0], FIONBIO, &nonBlocking);
        device.current = &session;
        device.termType = "xterm";
        device.winRows = 24;
        device.winCols = 80;
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;
    ~Link() {
        if (host >= 0) ::close(host);
    }

    void send(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(host, bytes.data() + done, bytes.size() - done);
            if (n <= 0) fail("host write");
            done += static_cast<size_t>(n);
        }
    }

    // Reads until the device has nothing more; false once it reported the
    // end of the connection.
    bool readAll(int max, std::string& data) {
        std::vector<char> buffer(static_cast<size_t>(max));
        for (;;) {
            int n = device.read(buffer.data(), max);
            if (n < 0) return false;
            if (n > max) fail("read returned more than asked");
            if (n == 0) return true;
            data.append(buffer.data(), static_cast<size_t>(n));
        }
    }

    void takeReplies(std::string& replies) {
        char buffer[4096];
        ssize_t n;
        while ((n = ::recv(host, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
            replies.append(buffer, static_cast<size_t>(n));
    }

    // The host hangs up: the data still waiting comes out, then the end.
    void hangUp(int max, std::string& data) {
        ::close(host);
        host = -1;
        if (readAll(max, data)) {
            if (!readAll(max, data)) return;
            fail("the end of the connection was never reported");
        }
    }

    DevTel device;
    int host = -1;
};

Outcome deliver(const std::string& stream, const std::vector<size_t>& pieces, int max) {
    Link link;
    Outcome outcome{};
    size_t at = 0;
    for (size_t length : pieces) {
        if (at >= stream.size()) break;
        link.send(stream.substr(at, length));
        at += length;
        if (!link.readAll(max, outcome.data)) fail("connection reported lost while open");
        link.takeReplies(outcome.replies);
    }
    if (at < stream.size()) {
        link.send(stream.substr(at));
        if (!link.readAll(max, outcome.data)) fail("connection reported lost while open");
        link.takeReplies(outcome.replies);
    }
    outcome.localEcho = link.device.sessions[0].localEcho;
    outcome.remoteEcho = link.device.sessions[0].remoteEcho;
    link.hangUp(max, outcome.data);
    return outcome;
}

// Every answer is IAC WILL/WONT/DO/DONT option, or IAC SB ... IAC SE with any
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

// The terminal's bytes go out with IAC doubled, whatever the negotiation did.
void checkWrite(const std::string& sample) {
    Link link;
    link.device.write(sample.data(), static_cast<int>(sample.size()));
    std::string sent;
    link.takeReplies(sent);
    std::string expected;
    for (char c : sample) {
        expected += c;
        if (static_cast<unsigned char>(c) == IAC) expected += c;
    }
    if (sent != expected) fail("written bytes not sent with IAC doubled");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // Reads of 1 to 15 bytes, or of a whole terminal block.
    int max = (data[0] & 0x0F) == 0 ? IO_BLOCK_SIZE : data[0] & 0x0F;
    size_t cuts = data[0] >> 4;
    if (size < 1 + cuts) return 0;
    std::vector<size_t> pieces;
    for (size_t i = 0; i < cuts; i++) pieces.push_back(1 + data[1 + i]);
    std::string stream(reinterpret_cast<const char*>(data + 1 + cuts),
                       std::min(size - 1 - cuts, MAX_STREAM));

    Outcome whole = deliver(stream, {}, IO_BLOCK_SIZE);
    checkReplies(whole.replies);
    if (deliver(stream, pieces, max) != whole) fail("the pieces changed the result");
    std::vector<size_t> bytewise(stream.size(), 1);
    if (deliver(stream, bytewise, max) != whole) fail("byte-by-byte delivery changed the result");
    checkWrite(stream.substr(0, WRITE_SAMPLE));
    return 0;
}
