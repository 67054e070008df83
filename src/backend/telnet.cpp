// The Telnet byte stream of a DevTel session: received data with the
// commands taken out and answered, and the user's bytes sent.  The client
// agrees to echo and to be echoed, tells its terminal type and window size
// when asked, refuses every other option and never starts a negotiation.
#include <string>

#include "backend/devtel.h"
#include "terminal/print.h"

namespace {

constexpr int IAC = 255;
constexpr int DONT = 254;
constexpr int DO = 253;
constexpr int WONT = 252;
constexpr int WILL = 251;
constexpr int SB = 250;
constexpr int SE = 240;

constexpr unsigned char CR = '\r';
constexpr unsigned char NUL = 0;

constexpr int OPTION_ECHO = 1;
constexpr int OPTION_TERMINAL_TYPE = 24;
constexpr int OPTION_NAWS = 31;
constexpr int SUB_IS = 0;
constexpr int SUB_SEND = 1;

// getByte results besides a byte.
constexpr int RECEIVE_NONE = -1;
constexpr int RECEIVE_LOST = -2;

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

std::string subnegotiation(int option) {
    return {static_cast<char>(IAC), static_cast<char>(SB), static_cast<char>(option)};
}

void endSubnegotiation(std::string& out) {
    out += static_cast<char>(IAC);
    out += static_cast<char>(SE);
}

}  // namespace

int DevTel::getByte(TelSession& session) {
    if (session.recvIndex < session.recvCount) return session.recvBuffer[session.recvIndex++];
    if (session.lost) return RECEIVE_LOST;
    int received = static_cast<int>(
        recv(session.socket, reinterpret_cast<char*>(session.recvBuffer), RECV_BUFFER_SIZE, 0));
    session.recvIndex = 0;
    session.recvCount = 0;
    if (received < 0) {
        if (reportError() == 0) return RECEIVE_NONE;
        session.lost = 1;
        return RECEIVE_LOST;
    }
    if (received == 0) {
        // The host ended the connection (a logout): not an error to show.
        session.lost = 1;
        return RECEIVE_LOST;
    }
    session.recvCount = received;
    session.recvIndex = 1;
    return session.recvBuffer[0];
}

int DevTel::read(char* buffer, int max) {
    if (current == nullptr || !current->connected) return -1;
    TelSession& session = *current;
    int stored = 0;
    int c = RECEIVE_NONE;
    while (stored < max && current == &session && (c = getByte(session)) >= 0) {
        // Without the binary option a bare CR travels as CR NUL: the NUL is
        // protocol, and would otherwise reach the printer and the capture.
        if (session.state == TelnetState::DataCr) {
            session.state = TelnetState::Data;
            if (c == NUL) continue;
        }
        if (session.state == TelnetState::Data && c != IAC) {
            buffer[stored++] = static_cast<char>(c);
            if (c == CR) session.state = TelnetState::DataCr;
        } else if (handleCommand(session, c) == 0) {
            buffer[stored++] = static_cast<char>(IAC);
        }
    }
    // An error box lets the user select another session while it waits;
    // neither these bytes nor the loss belong to that one.  The loss stays
    // recorded for when this session is read again.
    if (current != &session) return 0;
    // Data that came before the end of the connection is still shown; the
    // next read reports the end.
    if (c == RECEIVE_LOST && stored == 0) return -1;
    return stored;
}

int DevTel::write(const char* bytes, int count) {
    if (count < 1 || current == nullptr || !current->connected) return count;
    TelSession& session = *current;
    // While the host echoes, it shows the bytes itself.
    if (session.localEcho && !session.remoteEcho)
        for (int i = 0; i < count; i++) tputc(static_cast<unsigned char>(bytes[i]));
    std::string out;
    out.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; i++) appendData(out, static_cast<unsigned char>(bytes[i]));
    sendBytes(session, out.data(), static_cast<int>(out.size()));
    return count;
}

int DevTel::sendBytes(TelSession& session, const char* bytes, int count) {
    int sent = send(session.socket, bytes, count, 0);
    // A short count is a full send buffer: the rest is lost silently, like a
    // would-block.  Only a failure can tell of a lost connection.
    if (sent < 0 && reportError() != 0) session.lost = 1;
    return sent;
}

void DevTel::sendCommand(TelSession& session, int command, int option) {
    const char bytes[] = {static_cast<char>(IAC), static_cast<char>(command),
                          static_cast<char>(option)};
    sendBytes(session, bytes, static_cast<int>(sizeof bytes));
}

// Takes one byte of a command (the IAC that starts it included); returns 0
// when the byte completes IAC IAC, a data byte 255, and 1 when the command
// consumed it.
int DevTel::handleCommand(TelSession& session, int byte) {
    switch (session.state) {
    case TelnetState::Data:
        session.state = TelnetState::Command;
        return 1;
    case TelnetState::Command:
        if (byte == IAC) {
            session.state = TelnetState::Data;
            return 0;
        }
        if (byte >= WILL && byte <= DONT) {
            session.command = static_cast<unsigned char>(byte);
            session.state = TelnetState::Option;
        } else {
            // NOP, DM, GA and every other two-byte command vanish.
            session.state = byte == SB ? TelnetState::SubOption : TelnetState::Data;
        }
        return 1;
    case TelnetState::Option:
        session.state = TelnetState::Data;
        negotiate(session, session.command, byte);
        return 1;
    default:
        return handleSubnegotiation(session, byte);
    }
}

// A subnegotiation is consumed up to its IAC SE.  Only TERMINAL-TYPE SEND is
// answered, as soon as its code arrives.
int DevTel::handleSubnegotiation(TelSession& session, int byte) {
    switch (session.state) {
    case TelnetState::SubOption:
        if (byte == OPTION_TERMINAL_TYPE) {
            session.state = TelnetState::SubCode;
            return 1;
        }
        break;
    case TelnetState::SubCode:
        if (byte == SUB_SEND) sendTerminalType(session);
        break;
    case TelnetState::SubBodyIac:
        if (byte == IAC) {
            session.state = TelnetState::SubBody;
        } else if (byte == SE) {
            session.state = TelnetState::Data;
        } else {
            // A command inside: the host never closed the subnegotiation.
            // Ending it here keeps the rest of the stream from vanishing.
            session.state = TelnetState::Command;
            return handleCommand(session, byte);
        }
        return 1;
    default:
        break;
    }
    session.state = byte == IAC ? TelnetState::SubBodyIac : TelnetState::SubBody;
    return 1;
}

void DevTel::negotiate(TelSession& session, int command, int option) {
    bool echo = option == OPTION_ECHO;
    switch (command) {
    case WILL:
        if (!echo) {
            sendCommand(session, DONT, option);
        } else if (!session.remoteEcho) {
            session.remoteEcho = 1;
            sendCommand(session, DO, option);
        }
        break;
    case WONT:
        if (echo && session.remoteEcho) {
            session.remoteEcho = 0;
            sendCommand(session, DONT, option);
        }
        break;
    case DO:
        if (echo) {
            if (!session.localEcho) {
                session.localEcho = 1;
                sendCommand(session, WILL, option);
            }
        } else if (option == OPTION_TERMINAL_TYPE || option == OPTION_NAWS) {
            // Answered every time: the host may ask again after a change.
            sendCommand(session, WILL, option);
            if (option == OPTION_NAWS) sendWindowSize(session);
        } else {
            sendCommand(session, WONT, option);
        }
        break;
    default:  // DONT
        if (echo && session.localEcho) {
            session.localEcho = 0;
            sendCommand(session, WONT, option);
        }
        break;
    }
}

void DevTel::sendTerminalType(TelSession& session) {
    std::string reply = subnegotiation(OPTION_TERMINAL_TYPE);
    reply += static_cast<char>(SUB_IS);
    for (const char* p = termType; *p != '\0'; p++) appendData(reply, static_cast<unsigned char>(*p));
    endSubnegotiation(reply);
    sendBytes(session, reply.data(), static_cast<int>(reply.size()));
}

// Width then height, each as 16 bits: sizes of 255 and more go out whole,
// with a 255 byte doubled.
void DevTel::sendWindowSize(TelSession& session) {
    std::string reply = subnegotiation(OPTION_NAWS);
    appendSize(reply, winCols);
    appendSize(reply, winRows);
    endSubnegotiation(reply);
    sendBytes(session, reply.data(), static_cast<int>(reply.size()));
}
