// A relay proxy for the end-to-end tests: listens on 127.0.0.1, reads the
// request line "relay HOST PORT\n" of each connection, connects to HOST:PORT
// and carries bytes both ways until either side closes.  One process, one
// poll loop, any number of connections.
//
//   zarnek-relay PORT     (PORT 0: any free port, printed on standard output)
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <string>
#include <vector>

namespace {

constexpr size_t MAX_REQUEST = 512;
constexpr size_t CHUNK = 4096;

// One direction of a relayed connection: bytes read from `from` and not yet
// written to `to`.
struct Pipe {
    int from = -1;
    int to = -1;
    std::string pending;
    bool ended = false;  // `from` closed or failed
};

struct Link {
    int client;
    std::string request;  // until the line is complete
    Pipe up;              // client to target
    Pipe down;            // target to client
    bool relaying = false;
    bool finished = false;
};

int listenOn(int port) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return -1;
    int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 16) != 0) {
        close(s);
        return -1;
    }
    return s;
}

int boundPort(int s) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

int connectTo(const std::string& host, const std::string& port) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return -1;
    int s = -1;
    for (addrinfo* a = found; a != nullptr && s < 0; a = a->ai_next) {
        s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s >= 0 && connect(s, a->ai_addr, a->ai_addrlen) != 0) {
            close(s);
            s = -1;
        }
    }
    freeaddrinfo(found);
    return s;
}

// "relay HOST PORT": the target's socket, or -1.
int openTarget(const std::string& line) {
    char host[256];
    char port[16];
    if (std::sscanf(line.c_str(), "relay %255s %15s", host, port) != 2) return -1;
    return connectTo(host, port);
}

void startRelay(Link& link, size_t lineEnd) {
    int target = openTarget(link.request.substr(0, lineEnd));
    if (target < 0) {
        std::fprintf(stderr, "zarnek-relay: cannot serve \"%s\"\n",
                     link.request.substr(0, lineEnd).c_str());
        link.finished = true;
        return;
    }
    link.up = Pipe{link.client, target, link.request.substr(lineEnd + 1), false};
    link.down = Pipe{target, link.client, "", false};
    link.request.clear();
    link.relaying = true;
}

void readRequest(Link& link) {
    char buffer[MAX_REQUEST];
    ssize_t n = recv(link.client, buffer, sizeof buffer, 0);
    if (n <= 0) {
        link.finished = true;
        return;
    }
    link.request.append(buffer, static_cast<size_t>(n));
    size_t end = link.request.find('\n');
    if (end != std::string::npos)
        startRelay(link, end);
    else if (link.request.size() > MAX_REQUEST)
        link.finished = true;
}

void readPipe(Pipe& pipe) {
    char buffer[CHUNK];
    ssize_t n = recv(pipe.from, buffer, sizeof buffer, 0);
    if (n <= 0)
        pipe.ended = true;
    else
        pipe.pending.append(buffer, static_cast<size_t>(n));
}

void writePipe(Pipe& pipe) {
    ssize_t n = send(pipe.to, pipe.pending.data(), pipe.pending.size(), MSG_NOSIGNAL);
    if (n < 0) {
        pipe.ended = true;
        pipe.pending.clear();
    } else {
        pipe.pending.erase(0, static_cast<size_t>(n));
    }
}

// A side that closed ends the link once what it sent has been passed on.
bool pipeDone(const Pipe& pipe) { return pipe.ended && pipe.pending.empty(); }

void closeLink(Link& link) {
    close(link.client);
    if (link.relaying) close(link.up.to);
}

// The poll entries of one pipe: read from `from` while nothing waits, write
// to `to` while something does, so a slow side holds the other back.
void watchPipe(const Pipe& pipe, std::vector<pollfd>& fds) {
    if (!pipe.pending.empty())
        fds.push_back({pipe.to, POLLOUT, 0});
    else if (!pipe.ended)
        fds.push_back({pipe.from, POLLIN, 0});
}

short eventsOf(const std::vector<pollfd>& fds, size_t first, size_t count, int fd, short wanted) {
    for (size_t i = first; i < first + count; i++)
        if (fds[i].fd == fd && (fds[i].events & wanted)) return fds[i].revents;
    return 0;
}

void servePipe(Pipe& pipe, const std::vector<pollfd>& fds, size_t first, size_t count) {
    if (!pipe.pending.empty()) {
        if (eventsOf(fds, first, count, pipe.to, POLLOUT) != 0) writePipe(pipe);
    } else if (!pipe.ended && eventsOf(fds, first, count, pipe.from, POLLIN) != 0) {
        readPipe(pipe);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zarnek-relay PORT\n");
        return 2;
    }
    int listener = listenOn(std::atoi(argv[1]));
    if (listener < 0) {
        std::perror("zarnek-relay: listen");
        return 1;
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::printf("%d\n", boundPort(listener));
    std::fflush(stdout);

    std::list<Link> links;
    for (;;) {
        std::vector<pollfd> fds{{listener, POLLIN, 0}};
        std::vector<std::pair<size_t, size_t>> ranges;
        for (const Link& link : links) {
            size_t first = fds.size();
            if (!link.relaying) {
                fds.push_back({link.client, POLLIN, 0});
            } else {
                watchPipe(link.up, fds);
                watchPipe(link.down, fds);
            }
            ranges.emplace_back(first, fds.size() - first);
        }
        if (poll(fds.data(), fds.size(), -1) < 0) continue;

        size_t index = 0;
        for (Link& link : links) {
            auto [first, count] = ranges[index++];
            if (!link.relaying) {
                if (fds[first].revents != 0) readRequest(link);
            } else {
                servePipe(link.up, fds, first, count);
                servePipe(link.down, fds, first, count);
                link.finished = pipeDone(link.up) || pipeDone(link.down);
            }
        }
        for (auto it = links.begin(); it != links.end();) {
            if (!it->finished) {
                ++it;
                continue;
            }
            closeLink(*it);
            it = links.erase(it);
        }
        if (fds[0].revents & POLLIN) {
            int client = accept(listener, nullptr, nullptr);
            if (client >= 0) links.push_back(Link{client, "", {}, {}, false, false});
        }
    }
}
