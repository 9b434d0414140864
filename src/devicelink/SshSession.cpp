#include "devicelink/SshSession.h"

#include "devicelink/Connection.h"
#include "framework/LocalException.h"
#include "framework/Trace.h"

#include <libssh2.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace korvex {

// ---- SocketGuard

void SocketGuard::Set(int newFd) {
    std::lock_guard<std::mutex> guard(lock);
    fd = newFd;
    if (interrupted && fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
}

void SocketGuard::Interrupt() {
    std::lock_guard<std::mutex> guard(lock);
    interrupted = true;
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
}

int SocketGuard::Get() const {
    std::lock_guard<std::mutex> guard(lock);
    return fd;
}

void SocketGuard::Shutdown() {
    std::lock_guard<std::mutex> guard(lock);
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
}

void SocketGuard::Close() {
    std::lock_guard<std::mutex> guard(lock);
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// ---- SshChannel

SshChannel& SshChannel::operator=(SshChannel&& other) noexcept {
    if (this != &other) {
        Release();
        channel = other.channel;
        other.channel = nullptr;
    }
    return *this;
}

void SshChannel::Release() {
    if (!channel)
        return;
    libssh2_channel_close(channel);
    libssh2_channel_free(channel);
    channel = nullptr;
}

// ---- SshSession

SshSession::SshSession(const ConnectionTiming& timing, const StopEvent& stop, SocketGuard& socket)
    : timing(timing), stop(stop), socket(socket) {}

SshSession::~SshSession() { Close(); }

namespace {
void SetIntOption(int fd, int level, int name, int value) {
    // Best effort: a missing option only weakens the dead-peer detection.
    ::setsockopt(fd, level, name, &value, sizeof value);
}
} // namespace

void SshSession::OpenSocket(uint32_t networkAddress, uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        RaiseError(230);
    socket.Set(fd);
    // 0.0.0.0 is the device list's placeholder, not a device. Linux would
    // connect it to this machine and hand the device's password to whatever
    // SSH server runs here, so it is refused like any unreachable address.
    if (networkAddress == 0)
        RaiseError(230);

    // TCP keepalive notices a device that vanished while the session idles;
    // the user time-out bounds how long unacknowledged data may wait.
    SetIntOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    SetIntOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, 15);
    SetIntOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, 5);
    SetIntOption(fd, IPPROTO_TCP, TCP_KEEPCNT, 3);
    SetIntOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, static_cast<int>(timing.ioTimeout_ms));
    SetIntOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);

    int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
        RaiseError(230);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_addr.s_addr = networkAddress;
    remote.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        if (errno != EINPROGRESS)
            RaiseError(230);
        // Wait in slices so that a stop request is noticed within 100 ms.
        unsigned waited_ms = 0;
        for (;;) {
            if (stop.IsSet() || waited_ms >= timing.connectTimeout_ms)
                RaiseError(230);
            pollfd p{fd, POLLOUT, 0};
            unsigned slice = std::min(100u, timing.connectTimeout_ms - waited_ms);
            int rc = ::poll(&p, 1, static_cast<int>(slice));
            if (rc > 0)
                break;
            if (rc < 0 && errno != EINTR)
                RaiseError(230);
            waited_ms += slice;
        }
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
            RaiseError(230);
    }
    if (::fcntl(fd, F_SETFL, flags) < 0)
        RaiseError(230);
    // A stop that came before the connection existed could not shut it
    // down; from here on the stop's shutdown reaches it.
    if (stop.IsSet())
        RaiseError(230);
}

void SshSession::CreateSession() {
    session = libssh2_session_init();
    if (!session)
        RaiseError(231);
    libssh2_session_set_blocking(session, 1);
    // Without a time-out a blocking call waits for ever on a silent device.
    libssh2_session_set_timeout(session, static_cast<long>(timing.ioTimeout_ms));
}

void SshSession::ApplyTimeout() {
    if (session)
        libssh2_session_set_timeout(session, static_cast<long>(timing.ioTimeout_ms));
}

void SshSession::Handshake() {
    int rc = libssh2_session_handshake(session, socket.Get());
    if (rc != 0) {
        NoteFailure(rc);
        RaiseError(232);
    }
}

void SshSession::Authenticate(const std::string& user, const std::string& password) {
    int rc = libssh2_userauth_password_ex(session, user.data(), static_cast<unsigned>(user.size()), password.data(),
                                          static_cast<unsigned>(password.size()), nullptr);
    if (rc != 0) {
        NoteFailure(rc);
        RaiseError(233);
    }
}

void SshSession::StartKeepalive() {
    if (session && timing.keepalive_s > 0)
        libssh2_keepalive_config(session, 1, timing.keepalive_s);
}

void SshSession::Keepalive() {
    if (!session || timing.keepalive_s == 0)
        return;
    int next = 0;
    int rc = libssh2_keepalive_send(session, &next);
    if (rc != 0)
        NoteFailure(rc);
}

void SshSession::Close() {
    if (session) {
        libssh2_session_disconnect_ex(session, SSH_DISCONNECT_BY_APPLICATION, "Shutdown", "");
        libssh2_session_free(session);
        session = nullptr;
    }
    socket.Close();
}

void SshSession::NoteFailure(long rc) {
    if (rc == LIBSSH2_ERROR_TIMEOUT || rc == LIBSSH2_ERROR_SOCKET_SEND || rc == LIBSSH2_ERROR_SOCKET_RECV ||
        rc == LIBSSH2_ERROR_SOCKET_DISCONNECT || rc == LIBSSH2_ERROR_SOCKET_TIMEOUT) {
        Trace("SshSession::NoteFailure: %ld, giving the connection up\n", rc);
        socket.Shutdown();
    }
}

SshChannel SshSession::TryOpenChannel() {
    if (!session)
        return SshChannel();
    LIBSSH2_CHANNEL* channel = libssh2_channel_open_session(session);
    if (!channel)
        NoteFailure(libssh2_session_last_errno(session));
    return SshChannel(channel);
}

SshChannel SshSession::OpenChannel() {
    SshChannel channel = TryOpenChannel();
    if (!channel)
        RaiseError(226);
    return channel;
}

bool SshSession::Exec(SshChannel& channel, const std::string& command) {
    int rc = libssh2_channel_process_startup(channel.Get(), "exec", 4, command.data(),
                                             static_cast<unsigned>(command.size()));
    if (rc != 0)
        NoteFailure(rc);
    return rc == 0;
}

long SshSession::Read(SshChannel& channel, int stream, char* buffer, size_t n) {
    long rc = static_cast<long>(libssh2_channel_read_ex(channel.Get(), stream, buffer, n));
    if (rc < 0)
        NoteFailure(rc);
    return rc;
}

std::string SshSession::Collect(SshChannel& channel) {
    std::string output;
    char buffer[100];
    for (;;) {
        long n = Read(channel, 0, buffer, sizeof buffer);
        if (n < 0)
            break;
        output.append(buffer, static_cast<size_t>(n));
        // Standard error is read and discarded. A command that writes none
        // must not make this read wait out the session's time-out while
        // standard output flows, so it waits briefly; finding nothing there
        // is no failure.
        libssh2_session_set_timeout(session, 50);
        libssh2_channel_read_ex(channel.Get(), 1, buffer, sizeof buffer);
        libssh2_session_set_timeout(session, static_cast<long>(timing.ioTimeout_ms));
        if (libssh2_channel_eof(channel.Get()))
            break;
    }
    return output;
}

std::string SshSession::RunCommand(const std::string& command, unsigned execError) {
    SshChannel channel = OpenChannel();
    if (!Exec(channel, command))
        RaiseError(execError);
    return Collect(channel);
}

bool SshSession::WriteAll(SshChannel& channel, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        long rc = static_cast<long>(libssh2_channel_write(channel.Get(), text.data() + done, text.size() - done));
        if (rc <= 0) {
            NoteFailure(rc);
            return false;
        }
        done += static_cast<size_t>(rc);
    }
    return true;
}

bool SshSession::Fetch(const std::string& path, unsigned requestError, unsigned readError, size_t chunk,
                       const ChunkFn& onChunk) {
    libssh2_struct_stat info{};
    SshChannel channel(session ? libssh2_scp_recv2(session, path.c_str(), &info) : nullptr);
    if (!channel) {
        if (session)
            NoteFailure(libssh2_session_last_errno(session));
        if (requestError)
            RaiseError(requestError);
        return false;
    }
    uint64_t total = info.st_size > 0 ? static_cast<uint64_t>(info.st_size) : 0;
    uint64_t received = 0;
    // The buffer never grows with the announced size beyond this.
    const size_t limit = chunk ? chunk : size_t(256) * 1024;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(limit, std::max<uint64_t>(total, 1))));
    while (received < total) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), total - received));
        long n = static_cast<long>(libssh2_channel_read(channel.Get(), reinterpret_cast<char*>(buffer.data()), want));
        // End of file before the announced size is a failed read too: a
        // retry could only wait for ever.
        if (n <= 0) {
            NoteFailure(n);
            if (readError)
                RaiseError(readError);
            return false;
        }
        received += static_cast<uint64_t>(n);
        onChunk(buffer.data(), static_cast<size_t>(n), received, total);
    }
    return true;
}

bool SshSession::FetchAll(const std::string& path, unsigned requestError, unsigned readError, size_t chunk,
                          std::string& content, const std::function<void(uint64_t, uint64_t)>& progress) {
    content.clear();
    return Fetch(path, requestError, readError, chunk,
                 [&](const uint8_t* data, size_t n, uint64_t received, uint64_t total) {
                     content.append(reinterpret_cast<const char*>(data), n);
                     if (progress)
                         progress(received, total);
                 });
}

void SshSession::Send(const std::string& path, const void* data, size_t n, unsigned error,
                      const std::function<void(uint64_t, uint64_t)>& progress) {
    SshChannel channel(session ? libssh2_scp_send64(session, path.c_str(), 0777, static_cast<libssh2_int64_t>(n), 0, 0)
                               : nullptr);
    if (!channel) {
        if (session)
            NoteFailure(libssh2_session_last_errno(session));
        RaiseError(error);
    }
    const char* bytes = static_cast<const char*>(data);
    size_t remaining = n;
    if (n == 0) {
        long rc = static_cast<long>(libssh2_channel_write(channel.Get(), "", 0));
        if (rc < 0) {
            NoteFailure(rc);
            RaiseError(error);
        }
        if (progress)
            progress(0, 0);
    }
    while (remaining > 0) {
        long rc = static_cast<long>(libssh2_channel_write(channel.Get(), bytes + (n - remaining), remaining));
        if (rc <= 0) {
            NoteFailure(rc);
            RaiseError(error);
        }
        remaining -= static_cast<size_t>(rc);
        if (progress)
            progress(remaining, n);
    }
    // Let the device's copy program see the end and finish writing before
    // the channel is closed, so the file is complete on the device.
    libssh2_channel_send_eof(channel.Get());
    libssh2_channel_wait_eof(channel.Get());
}

} // namespace korvex
