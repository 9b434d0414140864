#pragma once

// The SSH transport of the device session: a TCP socket with bounded
// connect, a libssh2 session in non-blocking mode whose every call is
// waited out with poll on the socket against a deadline, and the common
// procedures (run a command, fetch a file, send a file). Used on the
// session thread only, except SocketGuard::Shutdown, which any thread may
// call to break a wait off.

#include "framework/LocalException.h"
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
class SshSession;

// The socket of the session, shared with the thread that stops the session.
class SocketGuard {
public:
    void Set(int fd);
    int Get() const;
    // Shuts the socket down in both directions: every wait on it and every
    // later call returns at once. The descriptor stays open until Close.
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

// A job's failure after which the session is of no further use: the device
// did not answer in time or the connection broke. The session thread ends
// the session when a job leaves with it.
class SessionLost : public LocalException {
public:
    using LocalException::LocalException;
};

// A channel that is closed and freed when it goes out of scope.
class SshChannel {
public:
    SshChannel() = default;
    SshChannel(SshSession& owner, LIBSSH2_CHANNEL* channel) : owner(&owner), channel(channel) {}
    ~SshChannel() { Release(); }
    SshChannel(SshChannel&& other) noexcept : owner(other.owner), channel(other.channel) {
        other.channel = nullptr;
    }
    SshChannel& operator=(SshChannel&& other) noexcept;
    SshChannel(const SshChannel&) = delete;
    SshChannel& operator=(const SshChannel&) = delete;

    LIBSSH2_CHANNEL* Get() const { return channel; }
    explicit operator bool() const { return channel != nullptr; }
    // Close, then free (bounded: a device that does not confirm the close
    // within the I/O time-out loses the session).
    void Release();

private:
    SshSession* owner = nullptr;
    LIBSSH2_CHANNEL* channel = nullptr;
};

// What a finished command left behind.
struct CommandResult {
    std::string output;    // standard output (with standard error when merged)
    std::string errorText; // the start of standard error (bounded)
    int exitStatus = 0;    // 0 also when the device reported none
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

    // TCP connect to an address in network byte order; error text::session_unreachable on
    // failure, after the connect time-out, or when a stop is requested.
    void OpenSocket(uint32_t networkAddress, uint16_t port);
    void CreateSession(); // error text::session_create_failed
    void Handshake();     // error text::session_handshake_failed
    // Password authentication; error text::session_login_failed.
    void Authenticate(const std::string& user, const std::string& password);
    // Sets the keepalive interval; only after authentication.
    void StartKeepalive();
    // Sends a keepalive when one is due; the seconds until the next is due
    // (0: none planned). Called by the idle loop only, never while a job
    // waits for the device.
    unsigned Keepalive();
    // Disconnects ("Shutdown", reason 11; skipped when the connection is
    // already broken), frees the session, closes the socket.
    void Close();

    // A time-out or a broken connection made the session useless.
    bool Lost() const { return lost; }

    LIBSSH2_SESSION* Handle() const { return session; }

    // A session channel; an empty one when it cannot be opened.
    SshChannel TryOpenChannel();
    // A session channel; error text::session_channel_failed when it cannot be opened.
    SshChannel OpenChannel();
    // Merges standard error into standard output; false on failure.
    bool MergeStandardError(SshChannel& channel);
    // Sends the exec request (the text without terminator); false on refusal.
    bool Exec(SshChannel& channel, const std::string& command);
    // Reads both streams as they arrive until the device ends them, then
    // waits for the channel to close and takes the exit status. Up to the
    // I/O time-out of silence is waited out; a time-out or a broken
    // connection raises `error` (as SessionLost).
    CommandResult Collect(SshChannel& channel, unsigned error);
    // Open a channel (text::session_channel_failed), exec (`error`), collect. A non-zero exit status
    // raises `error` with the first line of the command's standard error.
    std::string RunCommand(const std::string& command, unsigned error);
    // For a command after which the device goes away by design (restart):
    // open (text::session_channel_failed), exec (`error`), then read what comes; a connection that
    // ends or falls silent ends the reading without an error. A command that
    // ends with a non-zero exit status while the device is still there
    // raises `error` with the first line of its standard error.
    void RunCommandThenGone(const std::string& command, unsigned error);

    // Reads standard output until `marker` has arrived, the stream ends or
    // the read fails (`error` on a time-out or a broken connection). Returns
    // what was read.
    std::string ReadUntil(SshChannel& channel, const std::string& marker, unsigned error);
    // Ends a channel whose command has done its part: sends end of file,
    // discards what still comes and waits a short while for the device to
    // close the channel (after its exit status, if it sends one). False
    // when the device did not close it in that time, which is no failure;
    // a broken connection is noted as one.
    bool AwaitClose(SshChannel& channel);
    // Reads the one-byte answer of an SCP peer: true for 0 (fine); false
    // for an error, with the peer's text (or why nothing came) in `message`.
    bool ReadScpStatus(SshChannel& channel, std::string& message);
    // Writes all of `text`; false on error.
    bool WriteAll(SshChannel& channel, const std::string& text);

    // SCP receive of `path`. `chunk` is the most read per call (0 = up to
    // 256 KiB). A refused request raises `requestError` (or returns false
    // when it is 0); a failed read raises `readError` (or returns false when
    // it is 0). A file's size is never trusted for allocation: bytes are
    // handed on as they arrive.
    bool Fetch(const std::string& path, unsigned requestError, unsigned readError, size_t chunk,
               const ChunkFn& onChunk);
    // Fetch into memory.
    bool FetchAll(const std::string& path, unsigned requestError, unsigned readError, size_t chunk,
                  std::string& content, const std::function<void(uint64_t, uint64_t)>& progress = {});

    // SCP send with mode 0644; `error` on any failure. `progress` gets the
    // bytes remaining after each write.
    void Send(const std::string& path, const void* data, size_t n, unsigned error,
              const std::function<void(uint64_t remaining, uint64_t total)>& progress = {});
    // The same without raising: Refused when the device would not take the
    // file at all (it could not create or open it; nothing was written),
    // Failed when the copy broke off or was not confirmed (the file may hold
    // part of it). `why` gets the device's words or the reason.
    enum class SendOutcome { Sent, Refused, Failed };
    SendOutcome TrySend(const std::string& path, const void* data, size_t n, std::string& why,
                        const std::function<void(uint64_t remaining, uint64_t total)>& progress = {});

    // Raises `error`; after a time-out or a broken connection as
    // SessionLost with the reason added.
    [[noreturn]] void Raise(unsigned error);

    // The first line of a text that holds something, at most 200 bytes.
    static std::string FirstLine(const std::string& text);
    // The last line of a text that holds something, at most 200 bytes (what
    // a command with merged streams said last).
    static std::string LastLine(const std::string& text);
    // The text of `error` followed by the failure of a command that exited
    // with `status`, and `line` when it holds something.
    static std::string CommandFailure(unsigned error, int status, const std::string& line);
    // The one verdict on a finished command whose output a job uses: it
    // succeeded only with exit status 0 (a device that reports none has run
    // it); otherwise `error` is raised with the status and `said`, the
    // device's own words (the first line of its standard error, or what a
    // command with merged streams said last).
    static void RequireSuccess(int exitStatus, unsigned error, const std::string& said);

private:
    friend class SshChannel;
    enum class Wait { Ready, TimedOut, Stopped, Failed };

    // Waits until the socket is ready in the directions the session is
    // blocked on, in slices that look at the stop event; at most until
    // `deadline_ms` (steady clock). A stop request ends the wait when
    // `stoppable`.
    Wait WaitSocket(int64_t deadline_ms, bool stoppable);
    // Repeats `call` while it reports that it would block, waiting for the
    // socket in between; the result of the last call, or
    // LIBSSH2_ERROR_TIMEOUT when the deadline passed or a stop came.
    // A time-out gives the session up unless `timeoutLoses` is false.
    long Retry(const std::function<long()>& call, int64_t deadline_ms, bool stoppable = true,
               bool timeoutLoses = true);
    int64_t Deadline() const;
    // Notes a failed call: a time-out or a socket error gives the
    // connection up (the socket is shut, so the clean-up that follows ends
    // at once).
    void NoteFailure(long rc);
    void ReleaseChannel(LIBSSH2_CHANNEL* channel);

    const ConnectionTiming& timing;
    const StopEvent& stop;
    SocketGuard& socket;
    LIBSSH2_SESSION* session = nullptr;
    bool lost = false;
    bool timedOut = false;
};

} // namespace korvex
