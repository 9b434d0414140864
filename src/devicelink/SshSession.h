#pragma once

// The SSH transport of the device session: a TCP socket with bounded
// connect and keepalives, a libssh2 session in blocking mode with a limit on
// how long one call may wait, and the three common procedures (run a
// command, fetch a file, send a file). Used on the session thread only,
// except SocketGuard::Shutdown, which any thread may call to break a
// blocked call off.

#include "framework/StopEvent.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

typedef struct _LIBSSH2_SESSION LIBSSH2_SESSION;
typedef struct _LIBSSH2_CHANNEL LIBSSH2_CHANNEL;

namespace korvex {

struct ConnectionTiming;

// The socket of the session, shared with the thread that stops the session.
class SocketGuard {
public:
    void Set(int fd);
    int Get() const;
    // Shuts the socket down in both directions: every blocked and later call
    // on it returns at once. The descriptor stays open until Close.
    void Shutdown();
    // Shutdown for good: also every socket Set from now on (a stop that
    // comes while the socket is being created).
    void Interrupt();
    void Close();

private:
    mutable std::mutex lock;
    int fd = -1;
    bool interrupted = false;
};

// A channel that is closed and freed when it goes out of scope.
class SshChannel {
public:
    SshChannel() = default;
    explicit SshChannel(LIBSSH2_CHANNEL* channel) : channel(channel) {}
    ~SshChannel() { Release(); }
    SshChannel(SshChannel&& other) noexcept : channel(other.channel) { other.channel = nullptr; }
    SshChannel& operator=(SshChannel&& other) noexcept;
    SshChannel(const SshChannel&) = delete;
    SshChannel& operator=(const SshChannel&) = delete;

    LIBSSH2_CHANNEL* Get() const { return channel; }
    explicit operator bool() const { return channel != nullptr; }
    // Close, then free.
    void Release();

private:
    LIBSSH2_CHANNEL* channel = nullptr;
};

class SshSession {
public:
    // Receives the bytes of a fetched file as they arrive, with the counts
    // so far.
    using ChunkFn = std::function<void(const uint8_t* data, size_t n, uint64_t received, uint64_t total)>;

    SshSession(const ConnectionTiming& timing, const StopEvent& stop, SocketGuard& socket);
    ~SshSession();

    SshSession(const SshSession&) = delete;
    SshSession& operator=(const SshSession&) = delete;

    // TCP connect to an address in network byte order; error 230 on
    // failure, after the connect time-out, or when a stop is requested.
    void OpenSocket(uint32_t networkAddress, uint16_t port);
    void CreateSession(); // error 231
    void Handshake();     // error 232
    // Password authentication; error 233.
    void Authenticate(const std::string& user, const std::string& password);
    // SSH keepalive; only after authentication.
    void StartKeepalive();
    // Sends a keepalive when one is due (cheap; called every loop round).
    void Keepalive();
    // Takes up a changed timing.ioTimeout_ms (the session reads it when it
    // is created and before each job).
    void ApplyTimeout();
    // Disconnects ("Shutdown", reason 11), frees the session, closes the socket.
    void Close();

    LIBSSH2_SESSION* Handle() const { return session; }

    // A session channel; an empty one when it cannot be opened.
    SshChannel TryOpenChannel();
    // A session channel; error 226 when it cannot be opened.
    SshChannel OpenChannel();
    // Sends the exec request (the text without terminator); false on refusal.
    bool Exec(SshChannel& channel, const std::string& command);
    // Collects standard output (100-byte reads, standard error discarded)
    // until end of file or a read error.
    std::string Collect(SshChannel& channel);
    // Open a channel (226), exec (`execError`), collect the output.
    std::string RunCommand(const std::string& command, unsigned execError);

    // Reads up to `n` bytes of a stream (0 = standard output); < 0 on error.
    long Read(SshChannel& channel, int stream, char* buffer, size_t n);
    // Writes all of `text`; false on error.
    bool WriteAll(SshChannel& channel, const std::string& text);

    // SCP receive of `path`. `chunk` is the most read per call (0 = the
    // whole remainder). A refused request raises `requestError` (or returns
    // false when it is 0); a failed read raises `readError` (or returns
    // false when it is 0). A file's size is never trusted for allocation:
    // bytes are handed on as they arrive.
    bool Fetch(const std::string& path, unsigned requestError, unsigned readError, size_t chunk,
               const ChunkFn& onChunk);
    // Fetch into memory.
    bool FetchAll(const std::string& path, unsigned requestError, unsigned readError, size_t chunk,
                  std::string& content, const std::function<void(uint64_t, uint64_t)>& progress = {});

    // SCP send with mode 0777; `error` on any failure. `progress` gets the
    // bytes remaining after each write.
    void Send(const std::string& path, const void* data, size_t n, unsigned error,
              const std::function<void(uint64_t remaining, uint64_t total)>& progress = {});

private:
    // After a time-out or a broken connection the session is of no further
    // use: shut the socket so the clean-up calls that follow end at once.
    void NoteFailure(long rc);

    const ConnectionTiming& timing;
    const StopEvent& stop;
    SocketGuard& socket;
    LIBSSH2_SESSION* session = nullptr;
};

} // namespace korvex
