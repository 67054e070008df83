// The Telnet protocol of one connection: the command parser, the answers to
// the host's negotiation and the messages the client sends.
#include "backend/telnet.h"

namespace {

constexpr unsigned char IAC = 255;
constexpr unsigned char DONT = 254;
constexpr unsigned char DO = 253;
constexpr unsigned char WONT = 252;
constexpr unsigned char WILL = 251;
constexpr unsigned char SB = 250;
constexpr unsigned char SE = 240;

constexpr unsigned char CR = '\r';
constexpr unsigned char NUL = 0;

constexpr unsigned char OPTION_BINARY = 0;
constexpr unsigned char OPTION_ECHO = 1;
constexpr unsigned char OPTION_TERMINAL_TYPE = 24;
constexpr unsigned char OPTION_NAWS = 31;
constexpr unsigned char SUB_IS = 0;
constexpr unsigned char SUB_SEND = 1;

constexpr int MAX_WINDOW_SIZE = 65535;

// Appends a byte that travels as data: IAC goes out doubled.
void appendData(std::string& out, int byte) {
    out += static_cast<char>(byte);
    if (byte == IAC) out += static_cast<char>(IAC);
}

// A window size as 16 bits, high byte first.
void appendSize(std::string& out, int value) {
    if (value < 0) value = 0;
    if (value > MAX_WINDOW_SIZE) value = MAX_WINDOW_SIZE;
    appendData(out, value >> 8);
    appendData(out, value & 0xFF);
}

void appendCommand(std::string& out, unsigned char command, unsigned char option) {
    out += static_cast<char>(IAC);
    out += static_cast<char>(command);
    out += static_cast<char>(option);
}

void endSubnegotiation(std::string& out) {
    out += static_cast<char>(IAC);
    out += static_cast<char>(SE);
}

}  // namespace

void TelnetProtocol::describeTerminal(const char* type, int rows, int columns) {
    termType = type != nullptr ? type : "";
    winRows = rows;
    winCols = columns;
}

size_t TelnetProtocol::receive(std::string_view bytes, size_t room, std::string& data,
                               std::string& replies) {
    size_t taken = 0;
    size_t given = 0;
    const size_t owed = replies.size();
    while (taken < bytes.size() && given < room && replies.size() == owed) {
        auto byte = static_cast<unsigned char>(bytes[taken++]);
        if (take(byte, replies)) {
            data += static_cast<char>(byte);
            given++;
        }
    }
    return taken;
}

// Takes one received byte; true when it is data.
bool TelnetProtocol::take(unsigned char byte, std::string& replies) {
    // Without the binary option a bare CR travels as CR NUL: the NUL is
    // protocol, and would otherwise reach the printer and the capture.  In
    // binary a NUL after a CR is data like any other byte.
    if (state == State::DataCr) {
        state = State::Data;
        if (byte == NUL) return false;
    }
    if (state == State::Data && byte != IAC) {
        if (byte == CR && !hostBinary) state = State::DataCr;
        return true;
    }
    return handleCommand(byte, replies);
}

std::string TelnetProtocol::encode(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char byte : bytes) appendData(out, static_cast<unsigned char>(byte));
    return out;
}

// Takes one byte of a command (the IAC that starts it included); true when
// the byte completes IAC IAC, a data byte 255.
bool TelnetProtocol::handleCommand(unsigned char byte, std::string& replies) {
    switch (state) {
    case State::Data:
        state = State::Command;
        return false;
    case State::Command:
        if (byte == IAC) {
            state = State::Data;
            return true;
        }
        if (byte >= WILL && byte <= DONT) {
            command = byte;
            state = State::Option;
        } else {
            // NOP, DM, GA and every other two-byte command vanish.
            state = byte == SB ? State::SubOption : State::Data;
        }
        return false;
    case State::Option:
        state = State::Data;
        negotiate(byte, replies);
        return false;
    default:
        handleSubnegotiation(byte, replies);
        return false;
    }
}

// A subnegotiation is consumed up to its IAC SE.  Only TERMINAL-TYPE SEND is
// answered, as soon as its code arrives.
void TelnetProtocol::handleSubnegotiation(unsigned char byte, std::string& replies) {
    switch (state) {
    case State::SubOption:
        if (byte == OPTION_TERMINAL_TYPE) {
            state = State::SubCode;
            return;
        }
        break;
    case State::SubCode:
        if (byte == SUB_SEND) replies += terminalType();
        break;
    case State::SubBodyIac:
        if (byte == IAC) {
            state = State::SubBody;
            return;
        }
        // Any other command ends the subnegotiation: SE, which then does
        // nothing more, or another one when the host never closed it, which
        // keeps the rest of the stream from vanishing.
        state = State::Command;
        handleCommand(byte, replies);
        return;
    default:
        break;
    }
    state = byte == IAC ? State::SubBodyIac : State::SubBody;
}

std::string TelnetProtocol::opening() {
    std::string requests;
    if (!binaryWanted) return requests;
    binaryIn = binaryOut = true;
    appendCommand(requests, WILL, OPTION_BINARY);
    appendCommand(requests, DO, OPTION_BINARY);
    return requests;
}

void TelnetProtocol::negotiate(unsigned char option, std::string& replies) {
    if (option == OPTION_BINARY && binaryWanted) {
        negotiateBinary(replies);
        return;
    }
    bool echo = option == OPTION_ECHO;
    switch (command) {
    case WILL:
        if (!echo) {
            appendCommand(replies, DONT, option);
        } else if (!remoteEcho) {
            remoteEcho = 1;
            appendCommand(replies, DO, option);
        }
        break;
    case WONT:
        if (echo && remoteEcho) {
            remoteEcho = 0;
            appendCommand(replies, DONT, option);
        }
        break;
    case DO:
        if (echo) {
            if (!localEcho) {
                localEcho = 1;
                appendCommand(replies, WILL, option);
            }
        } else if (option == OPTION_TERMINAL_TYPE || option == OPTION_NAWS) {
            // Answered every time: the host may ask again after a change.
            appendCommand(replies, WILL, option);
            if (option == OPTION_NAWS) {
                windowSizeAgreed = 1;
                replies += windowSize();
            }
        } else {
            appendCommand(replies, WONT, option);
        }
        break;
    default:  // DONT
        // Not answered, as before; the host just hears no more sizes.
        if (option == OPTION_NAWS) windowSizeAgreed = 0;
        if (echo && localEcho) {
            localEcho = 0;
            appendCommand(replies, WONT, option);
        }
        break;
    }
}

// Only a change is answered: the host's answer to the client's own request
// is not answered again.
void TelnetProtocol::negotiateBinary(std::string& replies) {
    bool on = command == WILL || command == DO;
    bool hostSends = command == WILL || command == WONT;
    if (hostSends) hostBinary = on;
    bool& agreed = hostSends ? binaryIn : binaryOut;
    if (agreed == on) return;
    agreed = on;
    appendCommand(replies, hostSends ? (on ? DO : DONT) : (on ? WILL : WONT), OPTION_BINARY);
}

std::string TelnetProtocol::terminalType() const {
    std::string reply;
    appendCommand(reply, SB, OPTION_TERMINAL_TYPE);
    reply += static_cast<char>(SUB_IS);
    for (const char* p = termType; *p != '\0'; p++) appendData(reply, static_cast<unsigned char>(*p));
    endSubnegotiation(reply);
    return reply;
}

// Width then height, each as 16 bits: sizes of 255 and more go out whole,
// with a 255 byte doubled.
std::string TelnetProtocol::windowSize() const {
    std::string reply;
    appendCommand(reply, SB, OPTION_NAWS);
    appendSize(reply, winCols);
    appendSize(reply, winRows);
    endSubnegotiation(reply);
    return reply;
}

std::string TelnetProtocol::resize(int rows, int columns) {
    winRows = rows;
    winCols = columns;
    return windowSizeAgreed ? windowSize() : std::string();
}
