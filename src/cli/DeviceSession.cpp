#include "cli/DeviceSession.h"

#include "cli/Cli.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace korvex::cli::device {

std::atomic<bool> interrupted{false};
extern "C" void OnInterrupt(int) {
    interrupted.store(true);
}

bool Session::Run(DeviceRequest request) {
    if (JobOf(request) == JobNone)
        return Fail("the session is busy");
    std::future<DeviceResult> done = connection.Submit(std::move(request));
    while (done.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        if (interrupted.load()) {
            status.EndProgress();
            Fail("interrupted");
            EndSoon();
            connection.SetStopGrace(200); // no time for a polite goodbye
            connection.Stop();            // breaks a blocked transfer off
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const DeviceResult result = done.get();
    if (result.outcome == Outcome::Busy)
        return Fail("the session is busy");
    if (const auto* listing = std::get_if<Listing>(&result.value))
        listed[listing->level] = listing->names;
    status.EndProgress();
    const auto errors = status.TakeErrors();
    // One message per failure: a file the device cannot give (its
    // factory record, say) fails the connect's version query and again
    // the job that needs it, and is said once.
    for (const auto& e : errors)
        if (printed.insert(e).second)
            std::fprintf(stderr, "korvex-cli: %s\n", e.c_str());
    return errors.empty();
}

// Ctrl+C ends the program within a second whatever the session is
// waiting for: the worker is told to stop, and should it not be done
// in time the process ends without it.
void Session::EndSoon() {
    std::fflush(nullptr);
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(900));
        std::_Exit(ExitFailure);
    }).detach();
}
bool Session::Fail(const char* text) {
    std::fprintf(stderr, "korvex-cli: %s\n", text);
    return false;
}

bool ParseHostAddress(const std::string& text, uint32_t& hostOrder) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1)
        return false;
    hostOrder = ntohl(a.s_addr);
    return true;
}

bool ParseNumber(const std::string& text, unsigned long max, unsigned long& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 10)
        return false;
    value = std::stoul(text);
    return value <= max;
}

// Selects the entries named by `path` ("CAM/DAY/HOUR", fewer parts allowed)
// level by level; false (error printed) when a name is not on the device.
bool Walk(Session& session, const std::vector<std::string>& parts, ListLevelRequest& place) {
    place.level = 0;
    if (!session.Run(place))
        return false;
    for (size_t l = 0; l < parts.size() && l < 3; ++l) {
        const auto& names = session.Listed(static_cast<int>(l));
        int index = -1;
        for (size_t i = 0; i < names.size(); ++i)
            if (names[i] == parts[l])
                index = static_cast<int>(i);
        if (index < 0) {
            std::fprintf(stderr, "korvex-cli: no folder '%s' on the device\n", parts[l].c_str());
            return false;
        }
        place.selected[l] = index;
        place.level = static_cast<int>(l) + 1;
        if (!session.Run(place))
            return false;
    }
    return true;
}

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos)
            slash = path.size();
        if (slash > pos)
            parts.push_back(path.substr(pos, slash - pos));
        pos = slash + 1;
    }
    return parts;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

std::string LocalFolder(const std::string& dir) {
    if (dir.empty() || dir.back() == '/')
        return dir;
    return dir + "/";
}

} // namespace korvex::cli::device
