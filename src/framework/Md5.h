#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvex {

// MD5 message digest (RFC 1321).
class Md5 {
public:
    Md5();
    void Update(const void* data, size_t n);
    std::array<uint8_t, 16> Final();

    // 32 lower-case hexadecimal digits of the digest of `data`.
    static std::string Hex(std::string_view data);

private:
    void Block(const uint8_t* p);

    uint32_t state[4];
    uint64_t length = 0;
    uint8_t buffer[64];
    size_t used = 0;
};

// Runs the RFC 1321 test suite; on the first mismatch prints
// "MD5 self-test failed!\n" to stdout and returns false.
bool Md5SelfTest();

} // namespace korvex
