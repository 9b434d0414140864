#include "cli/DeviceSession.h"

#include "cli/Cli.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace korvex::cli::device {

CancelFlag interrupted;

void CliStatus::ShowProgress(unsigned percent, unsigned textId) {
    std::lock_guard<std::mutex> g(lock);
    if (textId)
        text = LoadTextA(textId);
    if (drawProgress) {
        std::fprintf(stderr, "\r%s %3u%%\x1b[K", text.c_str(), percent);
        progressShown = true;
    }
}

void CliStatus::ShowText(const std::string& newText) {
    // The fingerprint of a newly recorded key is worth seeing even when a
    // later text replaces it.
    if (newText.find("SHA256:") != std::string::npos) {
        EndProgress();
        say.Note(newText);
    }
    SetText(newText);
}

void CliStatus::EndProgress() {
    std::lock_guard<std::mutex> g(lock);
    if (progressShown)
        std::fprintf(stderr, "\r\x1b[K");
    progressShown = false;
}

namespace {

// The command line never waits long for a polite goodbye once it stops.
ConnectionTiming CliTiming() {
    ConnectionTiming timing;
    timing.stopGrace_ms = 200;
    return timing;
}

} // namespace

// The one place korvex-cli makes a device session.
Session::Session(const SessionSetup& setup)
    : say(setup.say), cancel(setup.cancel), endProgramOnCancel(setup.endProgramOnCancel), timing(CliTiming()),
      status(setup.say, setup.drawProgress),
      connection(
          ConnectionSetup{.status = status,
                          .devices = setup.devices,
                          .programHistory = &setup.history, // an upload keeps the replaced program there
                          .results = this,
                          .timing = timing}) {}

// Session thread: wakes Run, which then takes the result from its future.
void Session::JobEnded(const DeviceResult&) {
    cancel.Wake([this] { jobEnded = true; });
}

bool Session::Run(DeviceRequest request) {
    if (cancel.IsSet())
        return BreakOff();
    cancel.Wake([this] { jobEnded = false; });
    std::future<DeviceResult> done = connection.Submit(std::move(request));
    // A refused request is answered at once; a job that runs ends with its
    // result (the session sets the future right after telling JobEnded).
    const bool refused = done.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    if (!refused && cancel.WaitUntil([this] { return jobEnded; }))
        return BreakOff();
    last = done.get();
    if (last.outcome == Outcome::Busy) {
        say.Error("the session is busy");
        return false;
    }
    status.EndProgress();
    // One message per failure: a file the device cannot give (its factory
    // record, say) fails the connect's version query and again the job
    // that needs it, and is said once.
    const auto errors = status.TakeErrors();
    for (const auto& e : errors)
        if (said.insert(e).second)
            say.Error(e);
    // A job that ended without its result (not connected, stopped) has
    // failed as much as one that said why.
    if (errors.empty() && !last.Ok()) {
        const std::string why = last.error.empty() ? OutcomeName(last.outcome) : last.error;
        if (said.insert(why).second)
            say.Error(why);
    }
    return errors.empty() && last.Ok();
}

// Stops the session thread, breaking off a transfer it is blocked in.
bool Session::BreakOff() {
    status.EndProgress();
    say.Error("interrupted");
    if (endProgramOnCancel)
        EndSoon();
    connection.Stop();
    return false;
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

int Run::Fail(const std::string& text, int code) {
    say().Error(text);
    return code;
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

bool Walk(Session& session, const std::vector<std::string>& parts, ListLevelRequest& place,
          Listing& listing) {
    const auto run = [&] {
        if (!session.Run(place))
            return false;
        const auto* listed = std::get_if<Listing>(&session.LastResult().value);
        listing = listed ? *listed : Listing{place.level, {}, {}};
        return true;
    };
    place.level = 0;
    if (!run())
        return false;
    for (size_t l = 0; l < parts.size() && l < 3; ++l) {
        int index = -1;
        for (size_t i = 0; i < listing.names.size(); ++i)
            if (listing.names[i] == parts[l])
                index = static_cast<int>(i);
        if (index < 0) {
            session.Say().Error("no folder '" + parts[l] + "' on the device");
            return false;
        }
        place.selected[l] = index;
        place.level = static_cast<int>(l) + 1;
        if (!run())
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
