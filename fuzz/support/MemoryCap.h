#pragma once

// Counts the bytes a fuzz input keeps allocated and stops the run when they
// pass a cap: libFuzzer's own limits are per process (resident memory, which
// the sanitizers inflate) or per allocation, not per input.
#include <cstddef>
#include <cstdlib>
#include <cstdio>

#if defined(__has_include)
#if __has_include(<sanitizer/allocator_interface.h>)
#include <sanitizer/allocator_interface.h>
#define KORVEX_FUZZ_COUNT_MEMORY 1
#endif
#endif

namespace korvex::fuzz {

class MemoryCap {
public:
    // Counting runs between construction and destruction; above `cap` live
    // bytes the process aborts with a message.
    explicit MemoryCap(size_t cap) {
        Limit() = cap;
        Live() = 0;
        Peak() = 0;
        Active() = true;
#ifdef KORVEX_FUZZ_COUNT_MEMORY
        static bool installed = __sanitizer_install_malloc_and_free_hooks(&OnMalloc, &OnFree) != 0;
        (void)installed;
#endif
    }
    ~MemoryCap() { Active() = false; }
    static size_t PeakBytes() { return Peak(); }

private:
    static size_t& Limit() { static size_t v = 0; return v; }
    static long long& Live() { static long long v = 0; return v; }
    static size_t& Peak() { static size_t v = 0; return v; }
    static bool& Active() { static bool v = false; return v; }

#ifdef KORVEX_FUZZ_COUNT_MEMORY
    static void OnMalloc(const volatile void*, size_t size) {
        if (!Active())
            return;
        Live() += static_cast<long long>(size);
        if (Live() > 0 && static_cast<size_t>(Live()) > Peak())
            Peak() = static_cast<size_t>(Live());
        if (Peak() > Limit()) {
            Active() = false;
            std::fprintf(stderr, "memory cap: %zu bytes live, cap %zu\n", Peak(), Limit());
            std::abort();
        }
    }
    static void OnFree(const volatile void* p) {
        if (Active() && p)
            Live() -= static_cast<long long>(__sanitizer_get_allocated_size(const_cast<const void*>(p)));
    }
#endif
};

} // namespace korvex::fuzz
