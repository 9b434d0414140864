#include "devsim/SshServer.h"

#include "devsim/DeviceCommands.h"
#include "devsim/Sockets.h"
#include "framework/Trace.h"

#include <filesystem>
#include <libssh/callbacks.h>
#include <libssh/libssh.h>
#include <libssh/server.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace korvex::devsim {

namespace {

constexpr size_t kMaxSessions = 16;
constexpr size_t kMaxLoggedOutput = 64 * 1024;
constexpr int64_t kAuthTimeout_ms = 30000;

// Makes sure the host key file exists; generates an ECDSA P-256 key there
// when it does not.
void EnsureHostKey(const std::string& path) {
    std::error_code ec;
    if (fs::exists(path, ec))
        return;
    if (fs::path(path).has_parent_path())
        fs::create_directories(fs::path(path).parent_path(), ec);
    ssh_key key = nullptr;
    if (ssh_pki_generate(SSH_KEYTYPE_ECDSA_P256, 256, &key) != SSH_OK)
        throw std::runtime_error("devsim: cannot generate an SSH host key");
    int rc = ssh_pki_export_privkey_file(key, nullptr, nullptr, nullptr, path.c_str());
    ssh_key_free(key);
    if (rc != SSH_OK)
        throw std::runtime_error("devsim: cannot write the SSH host key to " + path);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, ec);
}

} // namespace

// One exec channel of a session.
struct ChannelState {
    ssh_channel channel = nullptr;
    ssh_channel_callbacks_struct callbacks{};
    SshServer::Session* owner = nullptr;
    std::unique_ptr<ExecHandler> handler;
    ExecContext context;
    size_t logIndex = 0;
    std::string loggedOutput, loggedError;
    bool exitSent = false;
    bool remoteClosed = false;
};

struct SshServer::Session {
    DeviceSimulator::State* state = nullptr;
    int fd = -1;
    std::atomic<bool> finished{false};
    std::thread thread;
    ssh_session session = nullptr;
    std::string user;
    bool authenticated = false;
    unsigned failures = 0;
    std::list<std::unique_ptr<ChannelState>> channels;
    ssh_server_callbacks_struct callbacks{};
};

namespace {

using Session = SshServer::Session;

int OnAuthPassword(ssh_session, const char* user, const char* password, void* userdata) {
    auto* s = static_cast<Session*>(userdata);
    std::string expected;
    {
        std::lock_guard guard(s->state->lock);
        expected = s->state->password;
    }
    if (user && password && s->state->options.user == user && expected == password) {
        s->authenticated = true;
        s->user = user;
        return SSH_AUTH_SUCCESS;
    }
    ++s->failures;
    ++s->state->authFailures;
    return SSH_AUTH_DENIED;
}

int OnChannelData(ssh_session, ssh_channel, void* data, uint32_t len, int, void* userdata) {
    auto* c = static_cast<ChannelState*>(userdata);
    c->context.input.append(static_cast<const char*>(data), len);
    return int(len);
}

void OnChannelEof(ssh_session, ssh_channel, void* userdata) {
    static_cast<ChannelState*>(userdata)->context.inputEof = true;
}

void OnChannelClose(ssh_session, ssh_channel, void* userdata) {
    auto* c = static_cast<ChannelState*>(userdata);
    c->context.inputEof = true;
    c->remoteClosed = true;
}

int OnExecRequest(ssh_session, ssh_channel, const char* command, void* userdata) {
    auto* c = static_cast<ChannelState*>(userdata);
    if (c->handler)
        return -1; // one command per channel
    Session* s = c->owner;
    CommandRecord record;
    record.user = s->user;
    record.command = command ? command : "";
    c->logIndex = s->state->AddCommand(record);
    c->handler = CreateHandler(*s->state, s->user, record.command);
    return 0;
}

int OnEnvRequest(ssh_session, ssh_channel, const char*, const char*, void*) {
    return 0;
}
int OnRefusedRequest(ssh_session, ssh_channel, void*) {
    return -1;
}
// Only the "sftp" subsystem exists; it runs like a command on the channel.
int OnSubsystemRequest(ssh_session, ssh_channel, const char* subsystem, void* userdata) {
    auto* c = static_cast<ChannelState*>(userdata);
    if (c->handler || !subsystem || std::string(subsystem) != "sftp")
        return -1;
    Session* s = c->owner;
    CommandRecord record;
    record.user = s->user;
    record.command = "subsystem sftp";
    c->logIndex = s->state->AddCommand(record);
    c->handler = CreateSftpHandler(*s->state);
    return 0;
}
int OnRefusedPty(ssh_session, ssh_channel, const char*, int, int, int, int, void*) {
    return -1;
}

ssh_channel OnChannelOpen(ssh_session session, void* userdata) {
    auto* s = static_cast<Session*>(userdata);
    if (!s->authenticated || s->state->CurrentFaults().refuseChannels || s->channels.size() >= 32)
        return nullptr;
    auto c = std::make_unique<ChannelState>();
    c->owner = s;
    c->channel = ssh_channel_new(session);
    if (!c->channel)
        return nullptr;
    c->callbacks.userdata = c.get();
    c->callbacks.channel_data_function = OnChannelData;
    c->callbacks.channel_eof_function = OnChannelEof;
    c->callbacks.channel_close_function = OnChannelClose;
    c->callbacks.channel_exec_request_function = OnExecRequest;
    c->callbacks.channel_env_request_function = OnEnvRequest;
    c->callbacks.channel_shell_request_function = OnRefusedRequest;
    c->callbacks.channel_subsystem_request_function = OnSubsystemRequest;
    c->callbacks.channel_pty_request_function = OnRefusedPty;
    ssh_callbacks_init(&c->callbacks);
    ssh_set_channel_callbacks(c->channel, &c->callbacks);
    ssh_channel result = c->channel;
    s->channels.push_back(std::move(c));
    return result;
}

// Sends as much of `pending` as the peer's window allows without blocking.
// False when the channel failed.
bool Flush(ssh_channel channel, std::string& pending, bool stderrStream) {
    while (!pending.empty()) {
        uint32_t window = ssh_channel_window_size(channel);
        if (window == 0)
            return true;
        uint32_t n = uint32_t(std::min<size_t>({pending.size(), size_t(window), size_t(32768)}));
        int written = stderrStream ? ssh_channel_write_stderr(channel, pending.data(), n)
                                   : ssh_channel_write(channel, pending.data(), n);
        if (written == SSH_ERROR)
            return false;
        if (written <= 0)
            return true;
        pending.erase(0, size_t(written));
    }
    return true;
}

// Runs the handler of one channel and sends what it produced. True when
// the channel can be freed.
bool Drive(Session& s, ChannelState& c) {
    if (c.remoteClosed && (c.exitSent || !c.handler))
        return true;
    if (!c.handler || c.exitSent)
        return c.remoteClosed;
    ExecContext& ctx = c.context;
    size_t outBefore = ctx.output.size(), errBefore = ctx.errorOutput.size();
    if (!ctx.done)
        c.handler->Step(ctx);
    // Log what this step produced (text commands only, up to a limit).
    if (ctx.logOutput) {
        if (c.loggedOutput.size() < kMaxLoggedOutput)
            c.loggedOutput += ctx.output.substr(outBefore, kMaxLoggedOutput - c.loggedOutput.size());
        if (c.loggedError.size() < kMaxLoggedOutput)
            c.loggedError += ctx.errorOutput.substr(errBefore, kMaxLoggedOutput - c.loggedError.size());
    }
    bool ok = Flush(c.channel, ctx.output, false) && Flush(c.channel, ctx.errorOutput, true);
    if (!ok || c.remoteClosed) {
        if (!c.exitSent) {
            s.state->FinishCommand(c.logIndex, ctx.done ? ctx.exitStatus : -1, c.loggedOutput, c.loggedError);
            c.exitSent = true;
        }
        return true;
    }
    if (ctx.done && ctx.output.empty() && ctx.errorOutput.empty()) {
        if (!ctx.killed && !s.state->CurrentFaults().omitExitStatus)
            ssh_channel_request_send_exit_status(c.channel, ctx.exitStatus);
        ssh_channel_send_eof(c.channel);
        ssh_channel_close(c.channel);
        c.exitSent = true;
        s.state->FinishCommand(c.logIndex, ctx.exitStatus, c.loggedOutput, c.loggedError);
        if (ctx.restartAfter)
            s.state->BeginRestart(300);
    }
    return false;
}

} // namespace

SshServer::SshServer(DeviceSimulator::State& state) : Thread("SshServer"), state(state) {
    ssh_init();
}

SshServer::~SshServer() {
    ReapSessions(true);
    if (bind)
        ssh_bind_free(static_cast<ssh_bind>(bind));
    ssh_finalize();
}

void SshServer::Open() {
    std::string keyFile = state.options.hostKeyFile.empty() ? state.options.rootDir + "/etc/tavo/ssh_host_key"
                                                            : state.options.hostKeyFile;
    EnsureHostKey(keyFile);
    ssh_bind b = ssh_bind_new();
    if (!b)
        throw std::runtime_error("devsim: cannot create the SSH server");
    bind = b;
    if (ssh_bind_options_set(b, SSH_BIND_OPTIONS_HOSTKEY, keyFile.c_str()) != SSH_OK)
        throw std::runtime_error("devsim: cannot use the SSH host key " + keyFile + ": " + ssh_get_error(b));
    port.Open(state.options.sshPort, state.sshPort);
}

void SshServer::Run() {
    while (!StopRequested()) {
        ReapSessions(false);
        int fd = port.Accept(stopEvent, [this] { CloseSessions(); });
        if (fd < 0)
            continue;
        std::lock_guard guard(sessionsLock);
        if (sessions.size() >= kMaxSessions) {
            ::close(fd);
            continue;
        }
        auto s = std::make_unique<Session>();
        s->state = &state;
        s->fd = fd;
        Session* raw = s.get();
        sessions.push_back(std::move(s));
        raw->thread = std::thread([this, raw] {
            Serve(*raw);
            raw->finished = true;
        });
    }
    CloseSessions();
    ReapSessions(true);
}

void SshServer::OnStopRequested() {
    CloseSessions();
}

// Wakes every session: a shut-down socket makes libssh's next wait fail.
void SshServer::CloseSessions() {
    std::lock_guard guard(sessionsLock);
    for (auto& s : sessions)
        if (s->fd >= 0)
            ::shutdown(s->fd, SHUT_RDWR);
}

void SshServer::ReapSessions(bool all) {
    std::list<std::unique_ptr<Session>> done;
    {
        std::lock_guard guard(sessionsLock);
        for (auto it = sessions.begin(); it != sessions.end();) {
            if (all || (*it)->finished) {
                done.push_back(std::move(*it));
                it = sessions.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& s : done)
        if (s->thread.joinable())
            s->thread.join();
}

void SshServer::Serve(Session& s) {
    ssh_session session = ssh_new();
    if (!session) {
        std::lock_guard guard(sessionsLock);
        ::close(s.fd);
        s.fd = -1;
        return;
    }
    s.session = session;
    long timeout_s = 10;
    ssh_options_set(session, SSH_OPTIONS_TIMEOUT, &timeout_s);
    s.callbacks.userdata = &s;
    s.callbacks.auth_password_function = OnAuthPassword;
    s.callbacks.channel_open_request_session_function = OnChannelOpen;
    ssh_callbacks_init(&s.callbacks);
    ssh_set_server_callbacks(session, &s.callbacks);
    ssh_set_auth_methods(session, SSH_AUTH_METHOD_PASSWORD);

    ssh_event event = nullptr;
    // ssh_bind_accept_fd hands the descriptor to the session, which closes it.
    if (ssh_bind_accept_fd(static_cast<ssh_bind>(bind), session, s.fd) != SSH_OK) {
        Trace("SshServer::Serve: %s\n", ssh_get_error(session));
        std::lock_guard guard(sessionsLock);
        if (ssh_get_fd(session) != s.fd)
            ::close(s.fd);
        s.fd = -1;
        ssh_free(session);
        return;
    }
    if (ssh_handle_key_exchange(session) != SSH_OK) {
        Trace("SshServer::Serve: key exchange failed: %s\n", ssh_get_error(session));
    } else {
        event = ssh_event_new();
        ssh_event_add_session(event, session);
        int64_t started = SteadyMs();
        while (!StopRequested() && !state.DeviceDown()) {
            int rc = ssh_event_dopoll(event, 100);
            if (rc == SSH_ERROR)
                break;
            int status = ssh_get_status(session);
            if (status & (SSH_CLOSED | SSH_CLOSED_ERROR))
                break;
            if (!s.authenticated && (s.failures >= 6 || SteadyMs() - started > kAuthTimeout_ms))
                break;
            for (auto it = s.channels.begin(); it != s.channels.end();) {
                if (Drive(s, **it)) {
                    ssh_remove_channel_callbacks((*it)->channel, &(*it)->callbacks);
                    ssh_channel_free((*it)->channel);
                    it = s.channels.erase(it);
                } else {
                    ++it;
                }
            }
        }
    }
    for (auto& c : s.channels) {
        if (c->handler && !c->exitSent)
            state.FinishCommand(c->logIndex, -1, c->loggedOutput, c->loggedError);
        ssh_remove_channel_callbacks(c->channel, &c->callbacks);
        ssh_channel_free(c->channel);
    }
    s.channels.clear();
    if (event) {
        ssh_event_remove_session(event, session);
        ssh_event_free(event);
    }
    {
        // From here on the descriptor may be closed and its number reused:
        // CloseSessions must not touch it any more.
        std::lock_guard guard(sessionsLock);
        s.fd = -1;
    }
    ssh_disconnect(session);
    ssh_free(session);
}

} // namespace korvex::devsim
