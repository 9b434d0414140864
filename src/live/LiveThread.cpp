#include "live/LiveThread.h"

#include "framework/Trace.h"
#include "live/LiveSession.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace korvex {

namespace {

const char* const kRun = "LiveThread::Run";
// Longest single wait, so that a stop request is seen promptly.
constexpr int kWaitSlice_ms = 100;
// Longest wait for a connection to be accepted.
constexpr unsigned kConnectTimeout_ms = 10000;

uint64_t NowMs() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Waits until `fd` is ready for `events`, at most `timeout_ms`, in short
// slices that look at the stop event. True when ready.
template <typename Stopped> bool WaitReady(int fd, short events, unsigned timeout_ms, Stopped stopped) {
    const uint64_t end = NowMs() + timeout_ms;
    for (;;) {
        if (stopped())
            return false;
        const uint64_t now = NowMs();
        if (now >= end)
            return false;
        pollfd p{fd, events, 0};
        const int n = poll(&p, 1, int(std::min<uint64_t>(end - now, kWaitSlice_ms)));
        if (n > 0)
            return (p.revents & (events | POLLERR | POLLHUP)) != 0;
        if (n < 0 && errno != EINTR)
            return false;
    }
}

// The connected, non-blocking socket as a LiveChannel.
template <typename Stopped> class SocketChannel : public LiveChannel {
public:
    SocketChannel(int fd, unsigned timeout_ms, Stopped stopped)
        : fd(fd), timeout_ms(timeout_ms), stopped(stopped) {}

    bool ReadExact(uint8_t* buffer, size_t n) override {
        size_t got = 0;
        while (got < n) {
            // Looked at before every receive, not only when one would block:
            // a peer that never stops sending must not keep a stop waiting.
            if (stopped())
                return false;
            const ssize_t r = recv(fd, buffer + got, n - got, 0);
            if (r > 0) {
                got += size_t(r);
                continue;
            }
            if (r == 0)
                return Failed("the device closed the connection");
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return Failed(std::string("read error: ") + std::strerror(errno));
            if (!WaitReady(fd, POLLIN, timeout_ms, stopped))
                return Failed(stopped() ? "stopped"
                                        : "no data for " + std::to_string((timeout_ms + 999) / 1000) + " s");
        }
        return true;
    }

    // Why the last read or send failed.
    const std::string& Failure() const { return failure; }

    bool Send(const uint8_t* data, size_t n) override {
        // One call; a 64-byte reply fits any socket buffer that is not
        // completely full, and a full one means the device stopped reading.
        ssize_t r;
        do {
            r = send(fd, data, n, MSG_NOSIGNAL);
        } while (r < 0 && errno == EINTR);
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitReady(fd, POLLOUT, timeout_ms, stopped))
            r = send(fd, data, n, MSG_NOSIGNAL);
        if (r != ssize_t(n))
            return Failed(r < 0 ? std::string("send error: ") + std::strerror(errno)
                                : "the reply could not be sent");
        return true;
    }

private:
    bool Failed(std::string why) {
        failure = std::move(why);
        return false;
    }
    std::string failure;
    int fd;
    unsigned timeout_ms;
    Stopped stopped;
};

} // namespace

LiveThread::LiveThread(LiveSink& sink, const TargetAddressSource& target, const LiveViewOptions& view,
                       const OptionMaskSource& mask, TuningSource& tuning, LiveThreadSettings settings)
    : Thread("Live"), sink(sink), target(target), view(view), mask(mask), tuning(tuning), settings(settings) {
}

LiveThread::~LiveThread() {
    // An owner that forgot Stop must not leave Run using this object's
    // members while they are destroyed.
    if (Started() && !runFinished.load())
        Stop();
    CloseSocket();
}

void LiveThread::OnStopRequested() {
    // Waits poll in short slices and look at the stop event, and so does
    // every read; shutting the socket down also ends a receive or send that
    // is under way at once, whatever the device does.
    std::lock_guard<std::mutex> guard(socketLock);
    if (socketFd >= 0)
        shutdown(socketFd, SHUT_RDWR);
}

void LiveThread::CloseSocket() {
    std::lock_guard<std::mutex> guard(socketLock);
    if (socketFd >= 0) {
        shutdown(socketFd, SHUT_RDWR);
        close(socketFd);
    }
    socketFd = -1;
}

bool LiveThread::Connect(uint32_t address) {
    connectError = 0;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        connectError = errno;
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(socketLock);
        socketFd = fd;
        // A stop that came just before cannot have reached this socket.
        if (StopRequested())
            shutdown(fd, SHUT_RDWR);
    }
    const unsigned o1 = address & 0xFF, o2 = (address >> 8) & 0xFF, o3 = (address >> 16) & 0xFF,
                   o4 = address >> 24;
    Trace("%s: Opening connection with %u.%u.%u.%u\n", kRun, o1, o2, o3, o4);
    connections.fetch_add(1);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    const uint16_t port = target.TargetPort();
    to.sin_port = htons(port != 0 ? port : settings.port);
    const uint8_t octets[4] = {uint8_t(o1), uint8_t(o2), uint8_t(o3), uint8_t(o4)};
    std::memcpy(&to.sin_addr.s_addr, octets, 4);

    // Non-blocking from the start, so that connecting can be stopped too.
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
        return false;
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0)
        return true;
    connectError = errno;
    if (errno != EINPROGRESS)
        return false;
    connectError = ETIMEDOUT;
    if (!WaitReady(fd, POLLOUT, kConnectTimeout_ms, [this] { return StopRequested(); }))
        return false;
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    connectError = error;
    return error == 0;
}

void LiveThread::SetLastEnd(std::string why) {
    Trace("%s: the connection ended: %s\n", kRun, why.c_str());
    std::lock_guard<std::mutex> guard(endLock);
    lastEnd = std::move(why);
}

std::string LiveThread::LastEnd() const {
    std::lock_guard<std::mutex> guard(endLock);
    return lastEnd;
}

void LiveThread::Run() {
    LiveBuffers buffers;
    auto stopped = [this] { return StopRequested(); };
    bool first = true;
    while (!StopRequested()) {
        if (SleepOrStop(first && settings.connectAtOnce ? 0 : settings.connectPause_ms))
            break;
        first = false;
        const uint32_t address = target.TargetAddress();
        if (address == 0)
            continue;
        if (!Connect(address)) {
            SetLastEnd(std::string("could not connect: ") +
                       std::strerror(connectError ? connectError : ETIMEDOUT));
            CloseSocket();
            continue;
        }
        {
            int fd;
            {
                std::lock_guard<std::mutex> guard(socketLock);
                fd = socketFd;
            }
            SocketChannel<decltype(stopped)> channel(fd, settings.readTimeout_ms, stopped);
            LiveSession session(channel, buffers, sink, view, mask, tuning);
            std::string why;
            try {
                while (!StopRequested() && target.TargetAddress() == address && session.ProcessMessage()) {
                }
                why = !session.Malformed().empty() ? session.Malformed()
                      : !channel.Failure().empty() ? channel.Failure()
                                                   : std::string("another device was chosen");
            } catch (const std::exception& e) {
                // A picture that cannot be built (out of memory, say) ends
                // this connection, not the thread.
                Trace("%s: %s\n", kRun, e.what());
                why = e.what();
            }
            SetLastEnd(why);
            Trace("%s: Closing connection\n", kRun);
            CloseSocket();
            sink.ResetCameras();
            // The session's end releases the decoders.
        }
    }
    runFinished.store(true);
}

} // namespace korvex
