#include "RealServers.h"

#include "devsim/DeviceFiles.h"
#include "support/FreePort.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace korvex::test {

namespace fs = std::filesystem;

namespace {

const char* const Sshd = "/usr/sbin/sshd";
const char* const Dropbear = "/usr/sbin/dropbear";
const char* const DropbearKey = "/usr/bin/dropbearkey";

void Run(const std::string& command) {
    if (std::system(("(" + command + ") >/dev/null 2>&1").c_str()) != 0)
        throw std::runtime_error("could not run: " + command);
}

void WriteText(const std::string& path, const std::string& text, mode_t mode) {
    std::ofstream(path, std::ios::trunc) << text;
    ::chmod(path.c_str(), mode);
}

// The server answers with its version line once it is up.
bool Answers(uint16_t port) {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    timeval tv{1, 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    char banner[4] = {};
    const bool up = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                    ::recv(s, banner, sizeof banner, MSG_WAITALL) == 4 && std::string(banner, 4) == "SSH-";
    ::close(s);
    return up;
}

// Adds or removes a login shell in /etc/shells (Dropbear lets only those
// log in).
void ListShell(const std::string& shell, bool listed) {
    std::ifstream in("/etc/shells");
    std::vector<std::string> lines;
    bool present = false;
    for (std::string line; std::getline(in, line);) {
        if (line == shell) {
            present = true;
            if (!listed)
                continue;
        }
        lines.push_back(line);
    }
    if (listed && !present)
        lines.push_back(shell);
    if (listed == present)
        return;
    std::ofstream out("/etc/shells", std::ios::trunc);
    for (const auto& line : lines)
        out << line << "\n";
}

} // namespace

const char* ServerName(ServerKind kind) {
    return kind == ServerKind::OpenSsh ? "OpenSSH" : "Dropbear";
}

std::string RealServersUnavailable() {
    if (::geteuid() != 0)
        return "real SSH server tests need root: they create a local user that logs in with a password";
    for (const char* program : {Sshd, Dropbear, DropbearKey, "/usr/bin/ssh-keygen", "/usr/sbin/useradd"})
        if (::access(program, X_OK) != 0)
            return std::string(program) + " is missing (scripts/install-deps.sh installs it)";
    return "";
}

RealServer::RealServer(ServerKind kind) : kind(kind) {
    // One test program at a time owns the user and its shell.
    userLock = ::open("/tmp/korvex-realserver.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (userLock < 0 || ::flock(userLock, LOCK_EX) != 0)
        throw std::runtime_error("cannot lock /tmp/korvex-realserver.lock");
    char pattern[] = "/tmp/korvex-realserver-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("cannot make a temporary folder");
    folder = pattern;
    try {
        ::chmod(folder.c_str(), 0755);
        devsim::Options options;
        options.rootDir = folder + "/root";
        options.cameraCount = 2;
        devsim::PrepareRoot(options);
        // The test user may not be able to reach the build folder (a
        // checkout under /root, say): the shell runs a copy.
        fs::copy_file(KORVEX_DEVSIM_PATH, folder + "/korvex-devsim");
        ::chmod((folder + "/korvex-devsim").c_str(), 0755);
        SetShellOptions("");
        ListShell(folder + "/shell", true);
        Run(std::string("id -u ") + User + " || useradd -M -N -g nogroup -d " + folder + " -s " + folder +
            "/shell " + User);
        Run(std::string("usermod -d ") + folder + " -s " + folder + "/shell " + User);
        Run(std::string("echo '") + User + ":" + Password + "' | chpasswd");
        Run("chown -R " + std::string(User) + " " + folder + "/root");
        StartServer();
    } catch (...) {
        StopServer();
        ListShell(folder + "/shell", false);
        fs::remove_all(folder);
        ::close(userLock);
        throw;
    }
}

RealServer::~RealServer() {
    StopServer();
    ListShell(folder + "/shell", false);
    // The user stays for the next run, but nobody can log in as it.
    std::system((std::string("usermod -L -s /usr/sbin/nologin ") + User + " >/dev/null 2>&1").c_str());
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    ::close(userLock);
}

std::string RealServer::HostPath(const std::string& devicePath) const {
    return folder + "/root" + devicePath;
}

void RealServer::SetShellOptions(const std::string& options) {
    // Leak reports of the sanitizer build would reach the device's output.
    WriteText(folder + "/shell",
              "#!/bin/sh\nASAN_OPTIONS=detect_leaks=0 exec '" + folder + "/korvex-devsim' --root '" + folder +
                  "/root' " + options + " \"$@\"\n",
              0755);
}

void RealServer::SetFolderWritable(const std::string& devicePath, bool writable) {
    const passwd* user = ::getpwnam(User);
    const std::string folder = HostPath(devicePath);
    if (!user || ::chown(folder.c_str(), writable ? user->pw_uid : 0, writable ? user->pw_gid : 0) != 0 ||
        ::chmod(folder.c_str(), 0755) != 0)
        throw std::runtime_error("cannot change the owner of " + folder);
}

unsigned RealServer::Restarts() const {
    std::ifstream in(folder + "/root/restarts");
    unsigned n = 0;
    for (std::string line; std::getline(in, line);)
        ++n;
    return n;
}

void RealServer::StartServer() {
    port = FreeTcpPort();
    std::vector<std::string> args;
    const std::string key = folder + "/host_key";
    if (kind == ServerKind::OpenSsh) {
        Run("ssh-keygen -q -t ed25519 -N '' -f " + key);
        ::mkdir("/run/sshd", 0755); // the server's privilege-separation folder
        std::ostringstream config;
        config << "Port " << port << "\nListenAddress 127.0.0.1\nHostKey " << key << "\nPidFile " << folder
               << "/sshd.pid\nUsePAM no\nPasswordAuthentication yes\nKbdInteractiveAuthentication no\n"
               << "PubkeyAuthentication no\nPermitRootLogin no\nAllowUsers " << User
               << "\nStrictModes no\nLogLevel ERROR\n";
        WriteText(folder + "/sshd_config", config.str(), 0644);
        args = {Sshd, "-D", "-e", "-f", folder + "/sshd_config"};
    } else {
        Run(std::string(DropbearKey) + " -t ed25519 -f " + key);
        args = {Dropbear,
                "-F",
                "-E",
                "-p",
                "127.0.0.1:" + std::to_string(port),
                "-r",
                key,
                "-P",
                folder + "/dropbear.pid"};
    }
    pid = ::fork();
    if (pid == 0) {
        const int log = ::open((folder + "/server.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(log, 1);
        ::dup2(log, 2);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    for (int i = 0; i < 100; ++i) {
        if (Answers(port))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    throw std::runtime_error(std::string(ServerName(kind)) + " did not start on port " +
                             std::to_string(port));
}

void RealServer::StopServer() {
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 40; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

} // namespace korvex::test
