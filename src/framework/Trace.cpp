#include "framework/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace korvex {

namespace {

std::mutex gSinkLock;
TraceSink gSink;

bool ToStderr() {
    static const bool enabled = [] {
        const char* v = std::getenv("KORVEX_TRACE");
        return v && std::strcmp(v, "1") == 0;
    }();
    return enabled;
}

} // namespace

void TraceLine(const std::string& line) {
    if (ToStderr()) {
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
    }
    std::lock_guard lock(gSinkLock);
    if (gSink)
        gSink(line);
}

void Trace(const char* format, ...) {
    char buffer[100];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    TraceLine(buffer);
}

TraceSink SetTraceSink(TraceSink sink) {
    std::lock_guard lock(gSinkLock);
    std::swap(sink, gSink);
    return sink;
}

unsigned TickCountMs() {
    using namespace std::chrono;
    return static_cast<unsigned>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace korvex
