#include "framework/Md5.h"

#include <gtest/gtest.h>

using namespace korvex;

TEST(Md5, Rfc1321SuiteAndSelfTest) {
    EXPECT_EQ(Md5::Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5::Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5::Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(Md5SelfTest());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(Md5, ChunkedUpdatesMatchOneShotAcrossBlockBoundaries) {
    std::string data(1000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = char('a' + i % 26);
    for (size_t len : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 1000u}) {
        std::string part = data.substr(0, len);
        Md5 md5;
        for (size_t i = 0; i < part.size(); i += 7)
            md5.Update(part.data() + i, std::min<size_t>(7, part.size() - i));
        auto digest = md5.Final();
        std::string hex;
        for (uint8_t b : digest) {
            char buf[3];
            std::snprintf(buf, sizeof buf, "%02x", b);
            hex += buf;
        }
        EXPECT_EQ(hex, Md5::Hex(part)) << len;
    }
    // A known long vector: one million 'a'.
    EXPECT_EQ(Md5::Hex(std::string(1000000, 'a')), "7707d6ae4e027c70eea2a935c2296f21");
}
