#include "devicelink/SshSession.h"

#include "devicelink/Connection.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "framework/Trace.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <libssh2.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace korvex {

namespace {

// One read from each of the channel's two streams (0: output, 1: error
// text), handing the bytes that arrive to `take`. Returns the first failure
// other than "try again" (0 when none); `progress` tells whether any bytes
// arrived.
template <typename Take> long ReadBothStreams(LIBSSH2_CHANNEL* channel, bool& progress, Take&& take) {
    char buffer[100];
    progress = false;
    for (int stream = 0; stream < 2; ++stream) {
        const long n = static_cast<long>(libssh2_channel_read_ex(channel, stream, buffer, sizeof buffer));
        if (n > 0) {
            progress = true;
            take(stream, buffer, static_cast<size_t>(n));
        } else if (n < 0 && n != LIBSSH2_ERROR_EAGAIN) {
            return n;
        }
    }
    return 0;
}

int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Longest single wait, so that a stop request is seen promptly.
constexpr int kWaitSlice_ms = 100;
// The most a goodbye (disconnect message, channel close on the way out)
// may take.
constexpr unsigned kGoodbye_ms = 1000;
// How long a channel whose command has ended may take to close. Some
// servers close late, or send no exit status at all; the command's output
// is complete by then, so this wait is short and its end is no failure.
constexpr unsigned kCloseWait_ms = 2000;
// Permission bits of a file sent to the device: the owner writes it,
// everyone reads it, nobody executes it.
constexpr int kSentFileMode = 0644;
// How much of a command's standard error is kept for its failure message.
constexpr size_t kErrorKept = 4096;

void SetIntOption(int fd, int level, int name, int value) {
    // Best effort: a missing option only weakens the dead-peer detection.
    ::setsockopt(fd, level, name, &value, sizeof value);
}

std::string Replace(std::string text, const char* mark, const std::string& value) {
    const size_t at = text.find(mark);
    if (at != std::string::npos)
        text.replace(at, 2, value);
    return text;
}

} // namespace

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
        owner = other.owner;
        channel = other.channel;
        other.channel = nullptr;
    }
    return *this;
}

void SshChannel::Release() {
    if (!channel)
        return;
    if (owner)
        owner->ReleaseChannel(channel);
    channel = nullptr;
}

// ---- SshSession

SshSession::SshSession(const ConnectionTiming& timing, const StopEvent& stop, SocketGuard& socket)
    : timing(timing), stop(stop), socket(socket) {}

SshSession::~SshSession() {
    Close();
}

void SshSession::OpenSocket(uint32_t networkAddress, uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        RaiseError(text::session_unreachable);
    socket.Set(fd);
    // 0.0.0.0 is the device list's placeholder, not a device. Linux would
    // connect it to this machine and hand the device's password to whatever
    // SSH server runs here, so it is refused like any unreachable address.
    if (networkAddress == 0)
        RaiseError(text::session_unreachable);

    // TCP keepalive notices a device that vanished while the session idles;
    // the user time-out bounds how long unacknowledged data may wait.
    SetIntOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    SetIntOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, 15);
    SetIntOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, 5);
    SetIntOption(fd, IPPROTO_TCP, TCP_KEEPCNT, 3);
    SetIntOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, static_cast<int>(timing.ioTimeout_ms));
    SetIntOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);

    // The socket stays non-blocking: every wait on it is a poll with a
    // deadline, in slices that look at the stop event.
    int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
        RaiseError(text::session_unreachable);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_addr.s_addr = networkAddress;
    remote.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        if (errno != EINPROGRESS)
            RaiseError(text::session_unreachable);
        const int64_t deadline = SteadyMs() + timing.connectTimeout_ms;
        for (;;) {
            const int64_t now = SteadyMs();
            if (stop.IsSet() || now >= deadline)
                RaiseError(text::session_unreachable);
            pollfd p{fd, POLLOUT, 0};
            int rc = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(kWaitSlice_ms, deadline - now)));
            if (rc > 0)
                break;
            if (rc < 0 && errno != EINTR)
                RaiseError(text::session_unreachable);
        }
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
            RaiseError(text::session_unreachable);
    }
    // A stop that came before the connection existed could not shut it
    // down; from here on the stop's shutdown reaches it.
    if (stop.IsSet())
        RaiseError(text::session_unreachable);
}

void SshSession::CreateSession() {
    session = libssh2_session_init();
    if (!session)
        RaiseError(text::session_create_failed);
    libssh2_session_set_blocking(session, 0);
}

int64_t SshSession::Deadline() const {
    return SteadyMs() + static_cast<int64_t>(timing.ioTimeout_ms);
}

SshSession::Wait SshSession::WaitSocket(int64_t deadline, bool stoppable) {
    const int fd = socket.Get();
    if (fd < 0)
        return Wait::Failed;
    const int directions = session ? libssh2_session_block_directions(session) : 0;
    short events = 0;
    if (directions & LIBSSH2_SESSION_BLOCK_INBOUND)
        events |= POLLIN;
    if (directions & LIBSSH2_SESSION_BLOCK_OUTBOUND)
        events |= POLLOUT;
    if (events == 0)
        events = POLLIN;
    for (;;) {
        if (stoppable && stop.IsSet())
            return Wait::Stopped;
        const int64_t now = SteadyMs();
        if (now >= deadline)
            return Wait::TimedOut;
        pollfd p{fd, events, 0};
        const int rc = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(kWaitSlice_ms, deadline - now)));
        // An error or hang-up counts as ready: the next call reports it.
        if (rc > 0)
            return Wait::Ready;
        if (rc < 0 && errno != EINTR)
            return Wait::Failed;
    }
}

long SshSession::Retry(const std::function<long()>& call, int64_t deadline, bool stoppable,
                       bool timeoutLoses) {
    for (;;) {
        const long rc = call();
        if (rc != LIBSSH2_ERROR_EAGAIN)
            return rc;
        switch (WaitSocket(deadline, stoppable)) {
        case Wait::Ready:
            continue;
        case Wait::TimedOut:
            if (!timeoutLoses)
                return LIBSSH2_ERROR_TIMEOUT;
            timedOut = true;
            NoteFailure(LIBSSH2_ERROR_TIMEOUT);
            return LIBSSH2_ERROR_TIMEOUT;
        case Wait::Stopped:
        case Wait::Failed:
            NoteFailure(LIBSSH2_ERROR_SOCKET_DISCONNECT);
            return LIBSSH2_ERROR_SOCKET_DISCONNECT;
        }
    }
}

void SshSession::NoteFailure(long rc) {
    if (rc == LIBSSH2_ERROR_TIMEOUT || rc == LIBSSH2_ERROR_SOCKET_SEND || rc == LIBSSH2_ERROR_SOCKET_RECV ||
        rc == LIBSSH2_ERROR_SOCKET_DISCONNECT || rc == LIBSSH2_ERROR_SOCKET_TIMEOUT ||
        rc == LIBSSH2_ERROR_BAD_SOCKET) {
        if (!lost)
            Trace("SshSession::NoteFailure: %ld, giving the connection up\n", rc);
        lost = true;
        socket.Shutdown();
    }
}

void SshSession::Raise(unsigned error) {
    if (timedOut) {
        const unsigned seconds = (timing.ioTimeout_ms + 999) / 1000;
        throw SessionLost(LoadTextA(error) + " " +
                          Replace(LoadTextA(text::link_no_answer), "%1", std::to_string(seconds)));
    }
    if (lost)
        throw SessionLost(LoadTextA(error));
    RaiseError(error);
}

void SshSession::Handshake() {
    const long rc = Retry([&] { return static_cast<long>(libssh2_session_handshake(session, socket.Get())); },
                          Deadline());
    if (rc != 0) {
        NoteFailure(rc);
        RaiseError(text::session_handshake_failed);
    }
}

void SshSession::Authenticate(const std::string& user, const std::string& password) {
    const long rc = Retry(
        [&] {
            return static_cast<long>(libssh2_userauth_password_ex(
                session, user.data(), static_cast<unsigned>(user.size()), password.data(),
                static_cast<unsigned>(password.size()), nullptr));
        },
        Deadline());
    if (rc != 0) {
        NoteFailure(rc);
        RaiseError(text::session_login_failed);
    }
}

void SshSession::StartKeepalive() {
    // In non-blocking mode the library sends nothing by itself: keepalives
    // go out only from Keepalive, which the idle loop calls.
    if (session && timing.keepalive_s > 0)
        libssh2_keepalive_config(session, 1, timing.keepalive_s);
}

unsigned SshSession::Keepalive() {
    if (!session || lost || timing.keepalive_s == 0)
        return 0;
    int next = 0;
    const int rc = libssh2_keepalive_send(session, &next);
    if (rc != 0 && rc != LIBSSH2_ERROR_EAGAIN)
        NoteFailure(rc);
    return next > 0 ? static_cast<unsigned>(next) : 0;
}

void SshSession::Close() {
    if (session) {
        if (!lost) {
            const int64_t deadline = SteadyMs() + std::min(timing.ioTimeout_ms, kGoodbye_ms);
            Retry(
                [&] {
                    return static_cast<long>(libssh2_session_disconnect_ex(
                        session, SSH_DISCONNECT_BY_APPLICATION, "Shutdown", ""));
                },
                deadline, false);
        }
        // Whatever is still open fails at once from here on, so freeing the
        // session cannot wait for the device.
        socket.Shutdown();
        const int64_t deadline = SteadyMs() + kGoodbye_ms;
        Retry([&] { return static_cast<long>(libssh2_session_free(session)); }, deadline, false);
        session = nullptr;
    }
    socket.Close();
}

void SshSession::ReleaseChannel(LIBSSH2_CHANNEL* channel) {
    if (!session)
        return;
    // A channel whose command has ended was closed by the device already
    // (AwaitClose), so this returns at once; one the device keeps open is
    // not worth a failed session.
    const int64_t deadline = SteadyMs() + std::min(timing.ioTimeout_ms, lost ? kGoodbye_ms : kCloseWait_ms);
    const long closed =
        Retry([&] { return static_cast<long>(libssh2_channel_close(channel)); }, deadline, true, false);
    if (closed == LIBSSH2_ERROR_TIMEOUT && !lost) {
        Trace("SshSession::ReleaseChannel: the device did not close the channel; freed with the session\n");
        return;
    }
    if (closed < 0)
        NoteFailure(closed);
    // A channel that cannot be freed now is freed with the session.
    Retry([&] { return static_cast<long>(libssh2_channel_free(channel)); }, SteadyMs() + kGoodbye_ms, false);
}

bool SshSession::AwaitClose(SshChannel& channel) {
    LIBSSH2_CHANNEL* raw = channel.Get();
    if (!raw || lost)
        return false;
    const int64_t deadline = SteadyMs() + std::min(timing.ioTimeout_ms, kCloseWait_ms);
    // Nothing more goes to the command: a copy program or a command that
    // reads its input ends on this.
    long rc = Retry([&] { return static_cast<long>(libssh2_channel_send_eof(raw)); }, deadline, true, false);
    // What still comes is not wanted; reading it keeps the device's window
    // open until its end of file, which it sends when the command is over.
    while (rc >= 0 && !libssh2_channel_eof(raw)) {
        bool progress = false;
        rc = ReadBothStreams(raw, progress, [](int, const char*, size_t) {});
        if (rc != 0 || progress || libssh2_channel_eof(raw))
            continue;
        const Wait wait = WaitSocket(deadline, true);
        if (wait == Wait::TimedOut)
            rc = LIBSSH2_ERROR_TIMEOUT;
        else if (wait != Wait::Ready)
            rc = LIBSSH2_ERROR_SOCKET_DISCONNECT;
    }
    // Then the channel is closed from this side; the device answers with
    // its own close (its exit status, when it sends one, comes before). A
    // device that keeps it open is left alone: the command has ended.
    if (rc >= 0)
        rc = Retry([&] { return static_cast<long>(libssh2_channel_close(raw)); }, deadline, true, false);
    if (rc == LIBSSH2_ERROR_TIMEOUT) {
        Trace("SshSession::AwaitClose: the device did not end the channel within %u ms\n", kCloseWait_ms);
        return false;
    }
    if (rc < 0)
        NoteFailure(rc);
    return rc == 0;
}

SshChannel SshSession::TryOpenChannel() {
    if (!session || lost)
        return SshChannel();
    LIBSSH2_CHANNEL* channel = nullptr;
    const long rc = Retry(
        [&]() -> long {
            channel = libssh2_channel_open_session(session);
            if (channel)
                return 0;
            const int error = libssh2_session_last_errno(session);
            return error ? error : -1;
        },
        Deadline());
    if (!channel)
        NoteFailure(rc);
    return channel ? SshChannel(*this, channel) : SshChannel();
}

SshChannel SshSession::OpenChannel() {
    SshChannel channel = TryOpenChannel();
    if (!channel)
        Raise(text::session_channel_failed);
    return channel;
}

bool SshSession::MergeStandardError(SshChannel& channel) {
    const long rc = Retry(
        [&] {
            return static_cast<long>(
                libssh2_channel_handle_extended_data2(channel.Get(), LIBSSH2_CHANNEL_EXTENDED_DATA_MERGE));
        },
        Deadline());
    NoteFailure(rc);
    return rc == 0;
}

bool SshSession::Exec(SshChannel& channel, const std::string& command) {
    const long rc = Retry(
        [&] {
            return static_cast<long>(libssh2_channel_process_startup(channel.Get(), "exec", 4, command.data(),
                                                                     static_cast<unsigned>(command.size())));
        },
        Deadline());
    if (rc != 0)
        NoteFailure(rc);
    return rc == 0;
}

CommandResult SshSession::Collect(SshChannel& channel, unsigned error) {
    CommandResult result;
    int64_t deadline = Deadline();
    for (;;) {
        // Both streams are read as their bytes arrive, so a command that
        // writes much to one of them never waits on the other.
        bool progress = false;
        const long failure =
            ReadBothStreams(channel.Get(), progress, [&](int stream, const char* bytes, size_t n) {
                if (stream == 0)
                    result.output.append(bytes, n);
                else if (result.errorText.size() < kErrorKept)
                    result.errorText.append(bytes, std::min(n, kErrorKept - result.errorText.size()));
            });
        if (failure != 0) {
            NoteFailure(failure);
            Raise(error);
        }
        if (progress) {
            deadline = Deadline(); // the time-out counts silence, not the whole command
            continue;
        }
        if (libssh2_channel_eof(channel.Get()))
            break;
        switch (WaitSocket(deadline, true)) {
        case Wait::Ready:
            break;
        case Wait::TimedOut:
            timedOut = true;
            NoteFailure(LIBSSH2_ERROR_TIMEOUT);
            Raise(error);
        case Wait::Stopped:
        case Wait::Failed:
            NoteFailure(LIBSSH2_ERROR_SOCKET_DISCONNECT);
            Raise(error);
        }
    }
    // The output is complete. The exit status comes before the device
    // closes the channel; a device that closes it without one, or late, has
    // still run the command (no status counts as success), and the channel
    // is not torn down under a command that has not quite exited.
    AwaitClose(channel);
    if (lost)
        Raise(error);
    result.exitStatus = libssh2_channel_get_exit_status(channel.Get());
    return result;
}

std::string SshSession::FirstLine(const std::string& text) {
    size_t start = text.find_first_not_of("\r\n \t");
    if (start == std::string::npos)
        return "";
    size_t end = text.find_first_of("\r\n", start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (line.size() > 200)
        line.resize(200);
    return line;
}

std::string SshSession::LastLine(const std::string& text) {
    const size_t end = text.find_last_not_of("\r\n \t");
    if (end == std::string::npos)
        return "";
    const size_t start = text.find_last_of("\r\n", end);
    return FirstLine(text.substr(start == std::string::npos ? 0 : start + 1, std::string::npos));
}

std::string SshSession::CommandFailure(unsigned error, int status, const std::string& line) {
    std::string text =
        LoadTextA(error) + " " + Replace(LoadTextA(text::link_command_failed), "%1", std::to_string(status));
    if (!line.empty())
        text += ": " + line;
    return text;
}

void SshSession::RequireSuccess(int exitStatus, unsigned error, const std::string& said) {
    if (exitStatus != 0)
        RaiseMessage(CommandFailure(error, exitStatus, said));
}

std::string SshSession::RunCommand(const std::string& command, unsigned error) {
    SshChannel channel = OpenChannel();
    if (!Exec(channel, command))
        Raise(error);
    CommandResult result = Collect(channel, error);
    RequireSuccess(result.exitStatus, error, FirstLine(result.errorText));
    return result.output;
}

void SshSession::RunCommandThenGone(const std::string& command, unsigned error) {
    SshChannel channel = OpenChannel();
    if (!Exec(channel, command))
        Raise(error);
    // The device goes away by design: its connection ending, or falling
    // silent, ends the reading without an error. The session is left to the
    // next liveness check, as after any restart. A command that ends while
    // the device is still there has said whether it worked: a non-zero exit
    // status is the job's failure, with the device's words.
    std::string errorText;
    int64_t deadline = Deadline();
    for (;;) {
        bool progress = false;
        if (ReadBothStreams(channel.Get(), progress, [&](int stream, const char* bytes, size_t n) {
                if (stream == 1 && errorText.size() < kErrorKept)
                    errorText.append(bytes, std::min(n, kErrorKept - errorText.size()));
            }) != 0)
            return;
        if (progress) {
            deadline = Deadline();
            continue;
        }
        if (libssh2_channel_eof(channel.Get()))
            break;
        if (WaitSocket(deadline, true) != Wait::Ready)
            return;
    }
    if (!AwaitClose(channel))
        return; // gone before it said how it ended
    RequireSuccess(libssh2_channel_get_exit_status(channel.Get()), error, FirstLine(errorText));
}

std::string SshSession::ReadUntil(SshChannel& channel, const std::string& marker, unsigned error) {
    std::string seen;
    char buffer[100];
    while (seen.find(marker) == std::string::npos) {
        const long n = Retry(
            [&] {
                return static_cast<long>(libssh2_channel_read_ex(channel.Get(), 0, buffer, sizeof buffer));
            },
            Deadline());
        if (n < 0) {
            NoteFailure(n);
            Raise(error);
        }
        if (n == 0)
            break; // end of file
        seen.append(buffer, static_cast<size_t>(n));
    }
    return seen;
}

bool SshSession::WriteAll(SshChannel& channel, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const long rc = Retry(
            [&] {
                return static_cast<long>(
                    libssh2_channel_write(channel.Get(), text.data() + done, text.size() - done));
            },
            Deadline());
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
    LIBSSH2_CHANNEL* raw = nullptr;
    long rc = -1;
    if (session && !lost)
        rc = Retry(
            [&]() -> long {
                raw = libssh2_scp_recv2(session, path.c_str(), &info);
                if (raw)
                    return 0;
                const int error = libssh2_session_last_errno(session);
                return error ? error : -1;
            },
            Deadline());
    SshChannel channel = raw ? SshChannel(*this, raw) : SshChannel();
    if (!channel) {
        NoteFailure(rc);
        if (requestError)
            Raise(requestError);
        if (lost)
            Raise(readError ? readError : 146);
        return false;
    }
    uint64_t total = info.st_size > 0 ? static_cast<uint64_t>(info.st_size) : 0;
    uint64_t received = 0;
    // The buffer never grows with the announced size beyond this.
    const size_t limit = chunk ? chunk : size_t(256) * 1024;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(limit, std::max<uint64_t>(total, 1))));
    while (received < total) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), total - received));
        const long n = Retry(
            [&] {
                return static_cast<long>(
                    libssh2_channel_read(channel.Get(), reinterpret_cast<char*>(buffer.data()), want));
            },
            Deadline());
        // End of file before the announced size is a failed read too: a
        // retry could only wait for ever.
        if (n <= 0) {
            NoteFailure(n);
            if (readError || lost)
                Raise(readError ? readError : 146);
            return false;
        }
        received += static_cast<uint64_t>(n);
        onChunk(buffer.data(), static_cast<size_t>(n), received, total);
    }
    // The copy program ends the file with its status byte and waits for
    // this side's answer before it exits; only then is the channel closed.
    std::string why;
    if (!ReadScpStatus(channel, why) || !WriteAll(channel, std::string(1, '\0'))) {
        Trace("SshSession::Fetch: %s: the copy did not end cleanly: %s\n", path.c_str(), why.c_str());
        if (readError || lost)
            Raise(readError ? readError : 146);
        return false;
    }
    AwaitClose(channel);
    return true;
}

bool SshSession::ReadScpStatus(SshChannel& channel, std::string& message) {
    char byte = 0;
    const auto readByte = [&] {
        return Retry([&] { return static_cast<long>(libssh2_channel_read(channel.Get(), &byte, 1)); },
                     Deadline());
    };
    long n = readByte();
    if (n <= 0) {
        NoteFailure(n);
        message = LoadTextA(text::link_copy_unconfirmed);
        return false;
    }
    if (byte == 0)
        return true;
    // 1 (warning) or 2 (error), then the device's text up to a line end.
    message.clear();
    while ((n = readByte()) > 0 && byte != '\n' && message.size() < 1024)
        message.push_back(byte);
    if (n < 0)
        NoteFailure(n);
    if (message.empty())
        message = LoadTextA(text::link_copy_unconfirmed);
    return false;
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
    std::string why;
    if (TrySend(path, data, n, why, progress) == SendOutcome::Sent)
        return;
    if (lost || why.empty())
        Raise(error);
    RaiseMessage(LoadTextA(error) + " " + why);
}

SshSession::SendOutcome SshSession::TrySend(const std::string& path, const void* data, size_t n,
                                            std::string& why,
                                            const std::function<void(uint64_t, uint64_t)>& progress) {
    why.clear();
    LIBSSH2_CHANNEL* raw = nullptr;
    long rc = -1;
    if (session && !lost)
        rc = Retry(
            [&]() -> long {
                raw = libssh2_scp_send64(session, path.c_str(), kSentFileMode,
                                         static_cast<libssh2_int64_t>(n), 0, 0);
                if (raw)
                    return 0;
                const int code = libssh2_session_last_errno(session);
                return code ? code : -1;
            },
            Deadline());
    SshChannel channel = raw ? SshChannel(*this, raw) : SshChannel();
    if (!channel) {
        NoteFailure(rc);
        // The copy program answers the file line with its refusal (a file
        // it may not create, a full device) before any byte is sent.
        if (session && !lost) {
            char* message = nullptr;
            libssh2_session_last_error(session, &message, nullptr, 0);
            why = FirstLine(message ? message : "");
            return SendOutcome::Refused;
        }
        return SendOutcome::Failed;
    }
    const char* bytes = static_cast<const char*>(data);
    size_t remaining = n;
    if (n == 0) {
        rc =
            Retry([&] { return static_cast<long>(libssh2_channel_write(channel.Get(), "", 0)); }, Deadline());
        if (rc < 0) {
            NoteFailure(rc);
            return SendOutcome::Failed;
        }
        if (progress)
            progress(0, 0);
    }
    while (remaining > 0) {
        rc = Retry(
            [&] {
                return static_cast<long>(
                    libssh2_channel_write(channel.Get(), bytes + (n - remaining), remaining));
            },
            Deadline());
        if (rc <= 0) {
            NoteFailure(rc);
            return SendOutcome::Failed;
        }
        remaining -= static_cast<size_t>(rc);
        if (progress)
            progress(remaining, n);
    }
    // The file is complete on the device only when its copy program has
    // confirmed the bytes (after this side's end-of-file byte); a program
    // that died half-way, or answered with an error, is a failed send.
    if (!WriteAll(channel, std::string(1, '\0')) || !ReadScpStatus(channel, why)) {
        if (lost)
            why.clear();
        return SendOutcome::Failed;
    }
    AwaitClose(channel);
    return SendOutcome::Sent;
}

} // namespace korvex
