#include "TcpSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

thread_local int tLastError = 0;

constexpr int BufferSize = 4096;

std::uint32_t TickCount() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool FailErrno() {
    tLastError = SockErrorFromErrno(errno);
    return false;
}

bool SetInt(TSocket s, int level, int option, int value) {
    return setsockopt(s, level, option, &value, sizeof value) == 0;
}

bool SetOptions(TSocket s) {
    // SO_DONTROUTE is not set: the original platform's IPv4 stack accepts and
    // ignores it, but Linux enforces it, which would make a switcher behind a
    // gateway unreachable.
    if (!SetInt(s, SOL_SOCKET, SO_OOBINLINE, 1) || !SetInt(s, SOL_SOCKET, SO_RCVBUF, BufferSize) ||
        !SetInt(s, SOL_SOCKET, SO_SNDBUF, BufferSize) || !SetInt(s, SOL_SOCKET, SO_REUSEADDR, 1))
        return FailErrno();
    // Keep-alive: first probe after 3000 ms without traffic. Linux counts in
    // whole seconds and cannot probe more often than once a second, so the
    // 100 ms interval becomes 1 s.
    if (!SetInt(s, SOL_SOCKET, SO_KEEPALIVE, 1) || !SetInt(s, IPPROTO_TCP, TCP_KEEPIDLE, 3) ||
        !SetInt(s, IPPROTO_TCP, TCP_KEEPINTVL, 1))
        return FailErrno();
    if (!SetInt(s, IPPROTO_TCP, TCP_NODELAY, 1))
        return FailErrno();
    const linger l{0, 0}; // lingering off: close returns at once
    if (setsockopt(s, SOL_SOCKET, SO_LINGER, &l, sizeof l) != 0)
        return FailErrno();
    return true;
}

bool SetNonBlocking(TSocket s) {
    const int flags = fcntl(s, F_GETFL, 0);
    if (flags < 0 || fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0)
        return FailErrno();
    return true;
}

// Waits up to waitMs for the socket to become ready; -1 on failure, 0 when
// nothing is ready, 1 when ready.
int PollOne(TSocket s, short events, int waitMs) {
    pollfd p{s, events, 0};
    for (;;) {
        const int r = poll(&p, 1, waitMs);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            FailErrno();
            return -1;
        }
        return r;
    }
}

int ToInt(const std::string& part) {
    if (part.empty())
        return 0;
    int v = 0;
    for (char c : part) {
        if (c < '0' || c > '9')
            return 0;
        v = v * 10 + (c - '0');
        if (v > 0xFFFF)
            return 0;
    }
    return v;
}

} // namespace

int SockErrorFromErrno(int err) {
    switch (err) {
    case EINTR:
        return 10004;
    case EBADF:
        return 10009;
    case EACCES:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EMFILE:
        return 10024;
    case EWOULDBLOCK:
        return SockErrWouldBlock;
    case EINPROGRESS:
        return SockErrInProgress;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EMSGSIZE:
        return 10040;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ECONNABORTED:
        return 10053;
    case ECONNRESET:
        return SockErrConnReset;
    case EPIPE:
        return SockErrConnReset;
    case ENOBUFS:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    case ESHUTDOWN:
        return 10058;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return SockErrConnRefused;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    default:
        return err;
    }
}

int SockLastError() {
    return tLastError;
}
void SockSetLastError(int code) {
    tLastError = code;
}

bool SockOpen(TSocket& socket) {
    socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket < 0) {
        socket = InvalidSocket;
        return FailErrno();
    }
    return SetOptions(socket) && SetNonBlocking(socket);
}

bool SockClose(TSocket& socket) {
    if (socket == InvalidSocket)
        return true;
    shutdown(socket, SHUT_RDWR);
    const int r = ::close(socket);
    socket = InvalidSocket;
    if (r != 0)
        return FailErrno();
    return true;
}

std::uint32_t SockPackAddress(const std::string& ipText) {
    std::uint32_t packed = 0;
    std::size_t start = 0;
    for (int k = 0; k < 4; ++k) {
        if (start > ipText.size())
            break;
        const std::size_t dot = ipText.find('.', start);
        const std::string part =
            ipText.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        packed |= static_cast<std::uint32_t>(ToInt(part) & 0xFF) << (8 * k);
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    return packed;
}

bool SockConnect(TSocket socket, const std::string& ipText, int port, unsigned timeoutMs) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    // The packed value's lowest byte is the first number: that is network order in memory.
    const std::uint32_t packed = SockPackAddress(ipText);
    std::memcpy(&addr.sin_addr, &packed, sizeof packed);

    if (::connect(socket, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0)
        return true;
    const int err = SockErrorFromErrno(errno);
    tLastError = err;
    if (err != SockErrWouldBlock && err != SockErrInProgress)
        return false;
    const int r = PollOne(socket, POLLOUT, static_cast<int>(timeoutMs));
    if (r < 0)
        return false;
    if (r == 0) {
        tLastError = SockErrTimeout;
        return false;
    }
    // Writable also means "failed": only an established connection counts.
    int soError = 0;
    socklen_t len = sizeof soError;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &soError, &len) != 0)
        return FailErrno();
    if (soError != 0) {
        tLastError = SockErrorFromErrno(soError);
        return false;
    }
    return true;
}

namespace {

// Moves exactly `length` bytes with `transfer` (send or receive), waiting for
// `events` in 1 ms steps whenever it would block, and giving up when the
// time-out has passed.
template <typename TTransfer>
bool TransferAll(TSocket socket, std::size_t length, unsigned timeoutMs, short events,
                 TTransfer transfer) {
    // The transfer is tried first and the socket waited on only when it would
    // block: most sends and the body of a reply need no wait at all.
    std::size_t done = 0;
    const std::uint32_t start = TickCount();
    while (done < length) {
        const ssize_t n = transfer(done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0 && events == POLLIN) {
            tLastError = SockErrConnReset; // the peer closed the connection
            return false;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return FailErrno();
        if (timeoutMs != 0 && TickCount() - start > timeoutMs) {
            tLastError = SockErrTimeout;
            return false;
        }
        if (PollOne(socket, events, 1) < 0)
            return false;
    }
    return true;
}

} // namespace

bool SockSendAll(TSocket socket, const void* buffer, std::size_t length, unsigned timeoutMs) {
    const auto* p = static_cast<const char*>(buffer);
    return TransferAll(socket, length, timeoutMs, POLLOUT, [&](std::size_t done) {
        return ::send(socket, p + done, length - done, MSG_NOSIGNAL);
    });
}

bool SockRecvAll(TSocket socket, void* buffer, std::size_t length, unsigned timeoutMs) {
    auto* p = static_cast<char*>(buffer);
    return TransferAll(socket, length, timeoutMs, POLLIN, [&](std::size_t done) {
        return ::recv(socket, p + done, length - done, 0);
    });
}
