#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace korvex {

// Diagnostic lines, one per call. A line is formatted into a 100-character
// buffer (longer lines are cut to 99 characters), then written to stderr when
// KORVEX_TRACE=1 and handed to the installed sink, if any.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes an already formatted line unchanged (no 100-character cut).
void TraceLine(const std::string& line);

using TraceSink = std::function<void(const std::string& line)>;

// Installs a sink that receives every line (tests use it); returns the
// previous one. Pass {} to remove.
TraceSink SetTraceSink(TraceSink sink);

// Milliseconds from a steady clock.
unsigned TickCountMs();

// Writes "<name>: <elapsed>ms\n" when it goes out of scope.
class TimingTrace {
public:
    explicit TimingTrace(const char* name) : name(name), start(TickCountMs()) {}
    ~TimingTrace() { Trace("%s: %ums\n", name, TickCountMs() - start); }
    TimingTrace(const TimingTrace&) = delete;
    TimingTrace& operator=(const TimingTrace&) = delete;

private:
    const char* name;
    unsigned start;
};

} // namespace korvex
