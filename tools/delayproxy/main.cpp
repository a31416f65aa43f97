// delayproxy: forwards every TCP connection accepted on 127.0.0.1:PORT to a
// target HOST:PORT and holds each chunk it reads for half of a chosen
// round-trip time before passing it on, in both directions, so that every
// exchange through it takes that much longer, as with a far server.
//
//   delayproxy --listen PORT --target HOST:PORT --rtt MS [--handshake]
//
// --listen 0 takes a free port. --handshake also holds the connection to the
// target for one and a half round trips, so that a new connection costs what
// TCP's handshake would across the distance: the client's connect returns at
// once, but the server accepts, and its first bytes reach the client, one
// round trip later than without it (what the client sends meanwhile waits). The port listened on is
// the first line on standard output. SIGTERM or SIGINT closes every connection and ends the program
// with status 0.
//
// One thread and ppoll(). Each direction of a connection is a queue of the
// chunks read, each stamped with the time it may leave; the stamps only grow,
// so the queue's head is always the next to go and the order is kept. A
// direction stops reading while it holds more than a few MB, so a large
// transfer is paced by the receiver instead of filling memory. An end of
// input is queued like a chunk and passed on as a half close.
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kReadSize = 64 * 1024;
constexpr size_t kHoldLimit = 4 * 1024 * 1024; // per direction, before reading pauses

volatile sig_atomic_t g_stop = 0;

void onStopSignal(int)
{
    g_stop = 1;
}

int64_t nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

bool setNonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

void setNoDelay(int fd)
{
    // Nagle's pause would add to the chosen delay.
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

struct Chunk {
    int64_t due = 0;   // not sent before this time
    std::string bytes; // empty: the end of input, passed on as a half close
    size_t sent = 0;
};

struct Direction {
    std::deque<Chunk> queue;
    size_t held = 0;         // bytes in the queue not yet sent
    bool inputEnded = false; // the sending side closed (or failed)
    bool finished = false;   // the end was passed on, or the receiver is gone
    bool blocked = false;    // a due chunk waits for room in the receiver's buffer

    bool wantsInput() const { return !inputEnded && held < kHoldLimit; }
    bool dueBy(int64_t now) const { return !queue.empty() && queue.front().due <= now; }
};

struct Link {
    int client = -1;
    int server = -1;
    int64_t connectAt = 0;  // when to open the connection to the target
    bool connected = false; // the connection to the target is made
    Direction up;           // client to server
    Direction down;         // server to client

    ~Link()
    {
        if (client >= 0)
            close(client);
        if (server >= 0)
            close(server);
    }
    bool done() const { return up.finished && down.finished; }
};

struct Options {
    int listenPort = -1;
    std::string host;
    std::string port;
    long rttMs = -1;
    bool handshake = false;
};

void usage()
{
    std::fprintf(
        stderr, "usage: delayproxy --listen PORT --target HOST:PORT --rtt MS\n"
                "  --listen PORT     port on 127.0.0.1 (0: a free one); printed on the first line\n"
                "  --target HOST:PORT  where each accepted connection is forwarded\n"
                "  --rtt MS          round-trip time added: half of it in each direction\n"
                "  --handshake       a new connection also takes TCP's handshake: the target\n"
                "                    is connected 1.5 round trips after the client\n");
}

bool parseNumber(const char *text, long low, long high, long *out)
{
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno || end == text || *end || value < low || value > high)
        return false;
    *out = value;
    return true;
}

bool parseOptions(int argc, char **argv, Options *options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            usage();
            std::exit(0);
        }
        if (name == "--handshake") {
            options->handshake = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "delayproxy: %s needs a value\n", name.c_str());
            return false;
        }
        const char *value = argv[++i];
        long number = 0;
        if (name == "--listen") {
            if (!parseNumber(value, 0, 65535, &number)) {
                std::fprintf(stderr, "delayproxy: not a port: %s\n", value);
                return false;
            }
            options->listenPort = int(number);
        } else if (name == "--rtt") {
            if (!parseNumber(value, 0, 600000, &number)) {
                std::fprintf(stderr, "delayproxy: not a time in ms (0 to 600000): %s\n", value);
                return false;
            }
            options->rttMs = number;
        } else if (name == "--target") {
            std::string target = value;
            const size_t colon = target.rfind(':');
            if (colon == std::string::npos || colon == 0 || colon + 1 == target.size()) {
                std::fprintf(stderr, "delayproxy: the target must be HOST:PORT: %s\n", value);
                return false;
            }
            options->host = target.substr(0, colon);
            options->port = target.substr(colon + 1);
            if (options->host.size() > 2 && options->host.front() == '[' &&
                options->host.back() == ']')
                options->host = options->host.substr(1, options->host.size() - 2);
            if (!parseNumber(options->port.c_str(), 1, 65535, &number)) {
                std::fprintf(stderr, "delayproxy: not a port: %s\n", options->port.c_str());
                return false;
            }
        } else {
            std::fprintf(stderr, "delayproxy: unknown option %s\n", name.c_str());
            return false;
        }
    }
    if (options->listenPort < 0 || options->host.empty() || options->rttMs < 0) {
        usage();
        return false;
    }
    return true;
}

int openListener(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(fd, 128) != 0 || !setNonBlocking(fd)) {
        close(fd);
        return -1;
    }
    return fd;
}

int boundPort(int fd)
{
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) != 0)
        return -1;
    return ntohs(address.sin_port);
}

// Sends what is due; false when the receiver is gone.
bool flush(Direction &direction, int to, int64_t now)
{
    direction.blocked = false;
    while (direction.dueBy(now)) {
        Chunk &chunk = direction.queue.front();
        if (chunk.bytes.empty()) {
            shutdown(to, SHUT_WR);
            direction.queue.pop_front();
            direction.finished = true;
            return true;
        }
        const ssize_t n = send(to, chunk.bytes.data() + chunk.sent, chunk.bytes.size() - chunk.sent,
                               MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                direction.blocked = true;
                return true;
            }
            return false;
        }
        chunk.sent += size_t(n);
        direction.held -= size_t(n);
        if (chunk.sent == chunk.bytes.size())
            direction.queue.pop_front();
    }
    return true;
}

// The receiver is gone: what waits for it, and what comes later, is dropped.
void abandon(Direction &direction)
{
    direction.queue.clear();
    direction.held = 0;
    direction.blocked = false;
    direction.finished = true;
}

// Reads what there is from `from` into the direction's queue.
void take(Direction &direction, int from, int64_t holdNs)
{
    static std::vector<char> buffer(kReadSize);
    const ssize_t n = recv(from, buffer.data(), buffer.size(), 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    const int64_t due = nowNs() + holdNs;
    if (n <= 0) {
        // The end of input, or a failure taken as one: passed on after the
        // same delay, behind what was read before it.
        direction.inputEnded = true;
        if (!direction.finished)
            direction.queue.push_back(Chunk{due, std::string(), 0});
        return;
    }
    if (direction.finished)
        return;
    direction.queue.push_back(Chunk{due, std::string(buffer.data(), size_t(n)), 0});
    direction.held += size_t(n);
}

// Starts the connection to the target; false when it cannot be made.
bool connectToTarget(Link &link, const addrinfo *to, const Options &options)
{
    link.server =
        socket(to->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, to->ai_protocol);
    if (link.server < 0) {
        std::fprintf(stderr, "delayproxy: socket: %s\n", std::strerror(errno));
        return false;
    }
    setNoDelay(link.server);
    if (connect(link.server, to->ai_addr, to->ai_addrlen) == 0) {
        link.connected = true;
    } else if (errno != EINPROGRESS) {
        std::fprintf(stderr, "delayproxy: cannot reach %s:%s: %s\n", options.host.c_str(),
                     options.port.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parseOptions(argc, argv, &options))
        return 2;
    const int64_t holdNs = int64_t(options.rttMs) * 1000000 / 2;

    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (const int failed =
            getaddrinfo(options.host.c_str(), options.port.c_str(), &hints, &found)) {
        std::fprintf(stderr, "delayproxy: cannot resolve %s: %s\n", options.host.c_str(),
                     gai_strerror(failed));
        return 1;
    }
    const std::unique_ptr<addrinfo, void (*)(addrinfo *)> target(found, freeaddrinfo);

    // The stop signals are let through only while waiting in ppoll, so none
    // is lost between a check of g_stop and the wait.
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    sigset_t blocked;
    sigset_t waiting;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigprocmask(SIG_BLOCK, &blocked, &waiting);
    sigdelset(&waiting, SIGTERM);
    sigdelset(&waiting, SIGINT);

    const int listener = openListener(options.listenPort);
    if (listener < 0) {
        std::fprintf(stderr, "delayproxy: cannot listen on 127.0.0.1:%d: %s\n", options.listenPort,
                     std::strerror(errno));
        return 1;
    }
    std::printf("%d\n", boundPort(listener));
    std::fflush(stdout);

    std::vector<std::unique_ptr<Link>> links;
    std::vector<pollfd> fds;
    std::vector<Link *> owners; // the link of each fds entry after the listener

    while (!g_stop) {
        int64_t now = nowNs();
        for (auto &link : links) {
            if (link->server < 0 && link->connectAt <= now &&
                !connectToTarget(*link, target.get(), options)) {
                abandon(link->up);
                abandon(link->down);
            }
            if (!link->connected)
                continue;
            if (!link->up.finished && !flush(link->up, link->server, now))
                abandon(link->up);
            if (!link->down.finished && !flush(link->down, link->client, now))
                abandon(link->down);
        }
        std::erase_if(links, [](const std::unique_ptr<Link> &link) { return link->done(); });

        // What to wait for: input where a direction has room, room where a
        // due chunk is blocked, the connection to the target being made, and
        // the time the next held chunk is due.
        fds.clear();
        owners.clear();
        fds.push_back(pollfd{listener, POLLIN, 0});
        int64_t wake = -1;
        for (auto &link : links) {
            short clientEvents = 0;
            short serverEvents = 0;
            if (link->up.wantsInput())
                clientEvents |= POLLIN;
            if (link->server < 0) {
                if (!link->done() && (wake < 0 || link->connectAt < wake))
                    wake = link->connectAt;
            } else if (!link->connected) {
                serverEvents |= POLLOUT;
            } else {
                if (link->down.wantsInput())
                    serverEvents |= POLLIN;
                if (link->up.blocked)
                    serverEvents |= POLLOUT;
                if (link->down.blocked)
                    clientEvents |= POLLOUT;
                for (const Direction *direction : {&link->up, &link->down}) {
                    if (!direction->queue.empty() && !direction->blocked) {
                        const int64_t due = direction->queue.front().due;
                        if (wake < 0 || due < wake)
                            wake = due;
                    }
                }
            }
            // A socket with nothing wanted stays out, so that a hang-up it
            // reports cannot wake the loop over and over.
            fds.push_back(pollfd{clientEvents ? link->client : -1, clientEvents, 0});
            fds.push_back(
                pollfd{serverEvents && link->server >= 0 ? link->server : -1, serverEvents, 0});
            owners.push_back(link.get());
        }
        timespec timeout{};
        if (wake >= 0) {
            const int64_t wait = wake > now ? wake - now : 0;
            timeout.tv_sec = time_t(wait / 1000000000);
            timeout.tv_nsec = long(wait % 1000000000);
        }
        const int ready = ppoll(fds.data(), fds.size(), wake >= 0 ? &timeout : nullptr, &waiting);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "delayproxy: poll: %s\n", std::strerror(errno));
            break;
        }

        for (size_t i = 0; i < owners.size(); ++i) {
            Link &link = *owners[i];
            const short clientReady = fds[1 + 2 * i].revents;
            const short serverReady = fds[2 + 2 * i].revents;
            if (link.server >= 0 && !link.connected && serverReady) {
                int error = 0;
                socklen_t size = sizeof error;
                getsockopt(link.server, SOL_SOCKET, SO_ERROR, &error, &size);
                if (error != 0) {
                    std::fprintf(stderr, "delayproxy: cannot reach %s:%s: %s\n",
                                 options.host.c_str(), options.port.c_str(), std::strerror(error));
                    abandon(link.up);
                    abandon(link.down);
                    continue;
                }
                link.connected = true;
            } else if (serverReady & (POLLIN | POLLHUP | POLLERR)) {
                if (link.down.wantsInput())
                    take(link.down, link.server, holdNs);
            }
            if ((clientReady & (POLLIN | POLLHUP | POLLERR)) && link.up.wantsInput())
                take(link.up, link.client, holdNs);
            // A send on a socket that reported POLLOUT or an error is tried
            // at the top of the loop.
        }

        if (fds[0].revents & POLLIN) {
            for (;;) {
                const int client =
                    accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (client < 0) {
                    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR &&
                        errno != ECONNABORTED)
                        std::fprintf(stderr, "delayproxy: accept: %s\n", std::strerror(errno));
                    break;
                }
                auto link = std::make_unique<Link>();
                link->client = client;
                setNoDelay(client);
                link->connectAt = options.handshake ? nowNs() + 3 * holdNs : 0;
                if (options.handshake || connectToTarget(*link, target.get(), options))
                    links.push_back(std::move(link));
            }
        }
    }

    links.clear();
    close(listener);
    return 0;
}
