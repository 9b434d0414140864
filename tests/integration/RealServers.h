#pragma once

// Real SSH servers (OpenSSH's sshd, Dropbear) on free loopback ports for
// the device-link tests. Everything they use lives in a temporary folder:
// their configuration, host key and pid file, the device's file tree and a
// login shell that runs the device's commands on that tree (the simulator
// in shell mode). A dedicated local user logs in with a password; making
// one needs root, so without root the tests are skipped.

#include <string>
#include <sys/types.h>

namespace korvex::test {

enum class ServerKind { OpenSsh, Dropbear };

const char* ServerName(ServerKind kind);

// Why the real-server tests cannot run here; "" when they can.
std::string RealServersUnavailable();

class RealServer {
public:
    static constexpr const char* User = "korvexdev";
    static constexpr const char* Password = "dev-pass-42";

    // Prepares the folder, the user and the device tree, then starts the
    // server; throws std::runtime_error with the reason when it cannot.
    explicit RealServer(ServerKind kind);
    // Stops the server and removes everything it made but the user.
    ~RealServer();
    RealServer(const RealServer&) = delete;
    RealServer& operator=(const RealServer&) = delete;

    uint16_t Port() const { return port; }
    const std::string& Folder() const { return folder; }
    // Host path of a device path ("/tavo/pass" -> "<folder>/root/tavo/pass").
    std::string HostPath(const std::string& devicePath) const;
    // Extra options for the simulator's shell from the next command on
    // (for example "--cut-upload 20000"); "" for none.
    void SetShellOptions(const std::string& options);
    // How many restarts the device's commands have asked for.
    unsigned Restarts() const;
    // Gives the device folder `devicePath` (such as "/etc/tavo") to root
    // (false) or back to the login user (true). The files in it stay the
    // login user's: a locked folder takes no new files from the login, but
    // its files can still be written in place.
    void SetFolderWritable(const std::string& devicePath, bool writable);

private:
    void StartServer();
    void StopServer();

    ServerKind kind;
    std::string folder;
    uint16_t port = 0;
    pid_t pid = -1;
    int userLock = -1;
};

} // namespace korvex::test
