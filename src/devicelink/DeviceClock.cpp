// The session's clock: calendar time in 100-ns units since 1601, the
// set-date decision of the clock check, and the check itself.

#include "devicelink/Connection.h"
#include "devicelink/SshSession.h"
#include "framework/LocalException.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "framework/Trace.h"

#include <chrono>
#include <cstdio>
#include <mutex>

namespace korvex {

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

struct CivilTime {
    unsigned year, month, day, hour, minute, second;
};

CivilTime CivilFrom100ns(uint64_t units) {
    const int64_t unixSeconds = static_cast<int64_t>(units / 10000000ULL) - 11644473600LL;
    int64_t days = unixSeconds / 86400;
    int64_t rest = unixSeconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
    return CivilTime{static_cast<unsigned>(y),
                     m,
                     d,
                     static_cast<unsigned>(rest / 3600),
                     static_cast<unsigned>(rest % 3600 / 60),
                     static_cast<unsigned>(rest % 60)};
}

} // namespace

uint64_t UtcTo100ns(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                    unsigned second) {
    const int64_t days = DaysFromCivil(year, month, day) + 134774; // 1601-01-01 .. 1970-01-01
    const int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    return static_cast<uint64_t>(seconds) * 10000000ULL;
}

uint64_t SystemUtc100ns() {
    using namespace std::chrono;
    const auto since1970 = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<uint64_t>(since1970 / 100) + 116444736000000000ULL;
}

std::optional<uint64_t> DeviceClock(const std::string& output) {
    if (output.size() < 22)
        return std::nullopt;
    unsigned y, mo, d, h, mi, s;
    if (std::sscanf(output.c_str(), "%u-%u-%uT%u:%u:%u", &y, &mo, &d, &h, &mi, &s) != 6)
        return std::nullopt;
    // A date the calendar does not have cannot be compared.
    if (y < 1601 || y > 30827 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59)
        return std::nullopt;
    return UtcTo100ns(y, mo, d, h, mi, s);
}

std::string ClockCommand(const std::string& output, uint64_t pc) {
    const std::optional<uint64_t> clock = DeviceClock(output);
    if (!clock)
        return "";
    const uint64_t device = *clock;
    const uint64_t difference = device > pc ? device - pc : pc - device;
    if (difference <= 100000000ULL)
        return "";
    const CivilTime now = CivilFrom100ns(pc);
    char command[96];
    std::snprintf(command, sizeof command, "/tavo/setdate \"%04u-%02u-%02u %02u:%02u:%02u\"", now.year,
                  now.month, now.day, now.hour, now.minute, now.second);
    return command;
}

bool Connection::SynchroniseClock() {
    struct Counted {
        std::atomic<unsigned>& counter;
        ~Counted() { counter.fetch_add(1, std::memory_order_acq_rel); }
    } counted{clockChecks};
    SshChannel first = session ? session->TryOpenChannel() : SshChannel();
    if (!first) {
        Disconnect();
        return false;
    }
    try {
        if (!session->Exec(first, "date -u -Iseconds"))
            session->Raise(text::session_command_failed);
        const CommandResult date = session->Collect(first, text::session_command_failed);
        first.Release();
        SshSession::RequireSuccess(date.exitStatus, text::link_clock_unreadable,
                                   SshSession::FirstLine(date.errorText));
        if (!DeviceClock(date.output))
            RaiseError(text::link_clock_unreadable);
        const std::string command = ClockCommand(date.output, utcNow());
        if (command.empty())
            return true;
        Trace("Connection::SynchroniseClock: setting the device clock\n");
        session->RunCommand(command, text::link_clock_not_set);
        clockSettings.fetch_add(1, std::memory_order_acq_rel);
        // The clock is read back: a device that took the command but kept
        // its time is not in step.
        const std::string after = session->RunCommand("date -u -Iseconds", text::link_clock_unreadable);
        if (!DeviceClock(after))
            RaiseError(text::link_clock_unreadable);
        if (!ClockCommand(after, utcNow()).empty()) {
            std::string text = LoadTextA(text::link_clock_off);
            text.replace(text.find("%1"), 2, SshSession::FirstLine(after));
            RaiseMessage(text);
        }
        return true;
    } catch (const std::exception& e) {
        // Nobody asked for this round: the failure is kept for whoever
        // reads it (korvex-cli sync-clock), and a session it left useless
        // is ended by the loop.
        Trace("Connection::SynchroniseClock: %s\n", e.what());
        std::lock_guard<std::mutex> guard(clockLock);
        clockError = e.what();
        clockFailures.fetch_add(1, std::memory_order_acq_rel);
        return false;
    }
}

// The clock check a caller asked for: its failure is the job's, and the
// timed check counts its period from now.
void Connection::SyncClockNow() {
    if (!RequireConnection())
        return;
    const unsigned settings = ClockSettings();
    const bool checked = SynchroniseClock();
    if (timing.clockPeriod_ms)
        nextClock = std::chrono::steady_clock::now() + std::chrono::milliseconds(timing.clockPeriod_ms);
    if (!connected.load(std::memory_order_acquire))
        RaiseError(text::link_clock_unchecked);
    if (!checked)
        RaiseMessage(ClockError());
    result.value = ClockReport{ClockSettings() != settings};
}

std::string Connection::ClockError() const {
    std::lock_guard<std::mutex> guard(clockLock);
    return clockError;
}

} // namespace korvex
