// The Telnet protocol of one connection, without the connection: bytes from
// the host in, the data for the screen and the replies owed to the host out.
// The client agrees to echo and to be echoed, tells its terminal type and
// window size when asked, refuses every other option and never starts a
// negotiation.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class TelnetProtocol {
public:
    // What the host is told when it asks for the terminal type or the window
    // size.  The text is not copied: it must outlive the protocol.
    void describeTerminal(const char* type, int rows, int columns);

    // Takes bytes received from the host, in order, and returns how many it
    // took.  Their data is appended to data, at most room bytes; the replies
    // they owe are appended to replies.  It stops after a byte that owes a
    // reply, so that the reply goes out before anything later is taken.  A
    // command may be cut anywhere: the next call goes on where this one ended.
    size_t receive(std::string_view bytes, size_t room, std::string& data, std::string& replies);

    // For a host that speaks UTF-8: without the binary option (RFC 856) in
    // both directions a host may strip the eighth bit of what it is sent.
    // The client then asks for it once connected, and agrees when asked.
    void wantBinary() { binaryWanted = true; }
    // What the client says first once connected: its requests for the
    // binary option when it wants it, else nothing.
    std::string opening();

    // The user's bytes as they go on the wire.
    static std::string encode(std::string_view bytes);
    // The window-size message for the size described.
    std::string windowSize() const;
    // The window now has this size; returns the message that tells the host,
    // empty when the host never asked to be told.
    std::string resize(int rows, int columns);
    // The client shows what it sends: it agreed to echo, and the host does
    // not echo itself (a host that asks both would see every key twice).
    bool echoesLocally() const { return localEcho && !remoteEcho; }

private:
    // Where the command parser stands between received bytes.
    enum class State : uint8_t {
        Data,        // plain data
        DataCr,      // plain data, just after a CR: a NUL here is no data
        Command,     // after IAC
        Option,      // after IAC WILL/WONT/DO/DONT, waiting for the option
        SubOption,   // after IAC SB, waiting for the option
        SubCode,     // after IAC SB TERMINAL-TYPE, waiting for the code
        SubBody,     // inside a subnegotiation, up to its IAC SE
        SubBodyIac,  // after an IAC inside a subnegotiation
    };

    bool take(unsigned char byte, std::string& replies);
    bool handleCommand(unsigned char byte, std::string& replies);
    void handleSubnegotiation(unsigned char byte, std::string& replies);
    void negotiate(unsigned char option, std::string& replies);
    void negotiateBinary(std::string& replies);
    std::string terminalType() const;

    const char* termType = "";
    int32_t winRows = 0;
    int32_t winCols = 0;
    int32_t localEcho = 0;   // the client said WILL ECHO
    int32_t remoteEcho = 0;  // the client said DO ECHO
    int32_t windowSizeAgreed = 0;  // the client said WILL NAWS, and no DONT NAWS came since
    bool binaryWanted = false;
    bool binaryIn = false;   // the client said DO BINARY
    bool binaryOut = false;  // the client said WILL BINARY
    bool hostBinary = false;  // the host said WILL BINARY: a NUL after a CR is data
    State state = State::Data;
    unsigned char command = 0;  // the WILL/WONT/DO/DONT awaiting its option
};
