// The texts the device prints and the tool reads: settings, addresses,
// camera and controller files, listings, version, factory record.

#include "devicelink/DeviceTexts.h"
#include "devicelink/FactoryRecord.h"
#include "devicelink/NetworkSettings.h"

#include <gtest/gtest.h>

#include <vector>

namespace korvex {
namespace {

TEST(SettingsReader, FindsValuesAndStopsAtMalformedLines) {
    EXPECT_EQ(SettingsValue("ipaddr = 192.168.1.10 ; static\n", "ipaddr"), "192.168.1.10");
    // Leading blanks, comment lines and empty lines are skipped.
    const char* output = "; current settings\n\n  \tnetmask\t=\t255.255.255.0\t\ngateway=192.168.1.1";
    EXPECT_EQ(SettingsValue(output, "netmask"), "255.255.255.0");
    EXPECT_EQ(SettingsValue(output, "gateway"), "192.168.1.1"); // last line without a line feed
    // A first line that is not a key (a "#" comment) ends the search: the
    // value is missing, not 0.0.0.0.
    EXPECT_EQ(SettingsValue("# ipconfig\nipaddr = 10.0.0.1\n", "ipaddr"), std::nullopt);
    // A key without "=" ends it too, also for keys on later lines.
    EXPECT_EQ(SettingsValue("proto static\nipaddr = 10.0.0.1\n", "ipaddr"), std::nullopt);
    // Keys are exact and case-sensitive; the first match wins.
    EXPECT_EQ(SettingsValue("IPADDR = 1.1.1.1\nipaddr = 2.2.2.2\nipaddr = 3.3.3.3\n", "ipaddr"), "2.2.2.2");
    EXPECT_EQ(SettingsValue("ipaddr_old = 1.1.1.1\n", "ipaddr"), std::nullopt);
    EXPECT_EQ(SettingsValue("", "ipaddr"), std::nullopt);
    EXPECT_EQ(SettingsValue("ipaddr =\n", "ipaddr"), "");
}

TEST(AddressTexts, FormatAndReadBothByteOrders) {
    EXPECT_EQ(HostAddressText(0xC0A8010Au), "192.168.1.10");
    EXPECT_EQ(NetworkAddressText(0x1400A8C0u), "192.168.0.20");
    EXPECT_EQ(ParseAddressText("192.168.1.10"), 0xC0A8010Au);
    EXPECT_EQ(ParseAddressText(" 192.168.001.10 \n"), 0xC0A8010Au);
    EXPECT_EQ(ParseAddressText("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseAddressText("0.0.0.0"), 0u);
}

TEST(AddressTexts, WhatIsNoAddressIsMissingNeverWrapped) {
    // An octet above 255 once spilled into the octet before it
    // (10.0.0.300 became 10.0.1.44).
    EXPECT_EQ(ParseAddressText("10.0.0.300"), std::nullopt);
    EXPECT_EQ(ParseAddressText("10.0.256.1"), std::nullopt);
    EXPECT_EQ(ParseAddressText("4294967306.0.0.1"), std::nullopt);
    EXPECT_EQ(ParseAddressText("10.1"), std::nullopt);
    EXPECT_EQ(ParseAddressText("10.0.0.1.5"), std::nullopt);
    EXPECT_EQ(ParseAddressText("none"), std::nullopt);
    EXPECT_EQ(ParseAddressText(""), std::nullopt);
    EXPECT_EQ(ParseCameraFile("10.0.0.300?channel=3"), std::nullopt);
    EXPECT_EQ(ParseCameraFile("10.0.0.3?channel="), std::nullopt);
    EXPECT_EQ(ParseCameraFile("10.0.0.3?channel=4294967296"), std::nullopt);
    EXPECT_EQ(ParseCameraFile("10.0.0.3 junk"), std::nullopt);
}

TEST(NetworkSettingsCheck, RefusesWhatCutsTheDeviceOff) {
    const uint32_t address = 0xC0A8010Au; // 192.168.1.10
    const uint32_t mask = 0xFFFFFF00u;    // 255.255.255.0
    const uint32_t gateway = 0xC0A80101u; // 192.168.1.1
    EXPECT_FALSE(ValidateNetworkSettings(address, mask, gateway).Refused());
    EXPECT_TRUE(ValidateNetworkSettings(address, mask, gateway).warning.empty());
    // The settings the device was once made unreachable with.
    EXPECT_TRUE(ValidateNetworkSettings(0, 0, 0).Refused());
    for (uint32_t bad : {0u, 0xFFFFFFFFu, 0xE0000001u /* 224.0.0.1 */, 0xEFFFFFFFu, 0x7F000001u})
        EXPECT_TRUE(ValidateNetworkSettings(bad, mask, gateway).Refused()) << HostAddressText(bad);
    for (uint32_t bad : {0u, 0xFFFF00FFu, 0x00FFFFFFu, 0xFFFFFF01u})
        EXPECT_TRUE(ValidateNetworkSettings(address, bad, gateway).Refused()) << HostAddressText(bad);
    // The network's own address and its broadcast address are not hosts...
    EXPECT_TRUE(ValidateNetworkSettings(0xC0A80100u, mask, gateway).Refused());
    EXPECT_TRUE(ValidateNetworkSettings(0xC0A801FFu, mask, gateway).Refused());
    // ...except under /31 and /32, which have none.
    EXPECT_FALSE(ValidateNetworkSettings(0xC0A80100u, 0xFFFFFFFEu, 0xC0A80101u).Refused());
    EXPECT_FALSE(ValidateNetworkSettings(address, 0xFFFFFFFFu, address).Refused());
    EXPECT_TRUE(ValidateNetworkSettings(address, mask, 0xFFFFFFFFu).Refused());
    EXPECT_TRUE(ValidateNetworkSettings(address, mask, 0xE0000001u).Refused());
    // A gateway outside the network is written only once confirmed.
    for (uint32_t outside : {0u, 0xC0A80201u}) {
        const NetworkCheck check = ValidateNetworkSettings(address, mask, outside);
        EXPECT_FALSE(check.Refused());
        EXPECT_NE(check.warning.find(HostAddressText(outside)), std::string::npos) << check.warning;
    }
    EXPECT_TRUE(IsContiguousNetmask(0x80000000u));
    EXPECT_FALSE(IsContiguousNetmask(0x7FFFFFFFu));
}

TEST(CameraFiles, ContentAndReadBack) {
    const uint32_t address = 0x0A000005u; // 10.0.0.5
    EXPECT_EQ(CameraFileContent(address, 1), "10.0.0.5");
    EXPECT_EQ(CameraFileContent(address, 2), "10.0.0.5?channel=2");
    EXPECT_EQ(CameraFileContent(0, 3), "");

    CameraSetting withChannel = ParseCameraFile("10.0.0.5?channel=3").value();
    EXPECT_EQ(withChannel.address, address);
    EXPECT_EQ(withChannel.channel, 3u);
    CameraSetting plain = ParseCameraFile("10.0.0.5").value();
    EXPECT_EQ(plain.address, address);
    EXPECT_EQ(plain.channel, 1u);
    // Round trip of what the write job sends.
    CameraSetting back = ParseCameraFile(CameraFileContent(0xC0A80002u, 7)).value();
    EXPECT_EQ(back.address, 0xC0A80002u);
    EXPECT_EQ(back.channel, 7u);
}

TEST(ControllerFile, TrailingWhiteSpaceAndNoController) {
    EXPECT_EQ(TrimTrailing("255.255.255.255\r\n \t"), "255.255.255.255");
    EXPECT_EQ(ParseAddressText(TrimTrailing("255.255.255.255\n")), 0xFFFFFFFFu); // means: none
    EXPECT_EQ(TrimTrailing("\n\n"), "");
    EXPECT_EQ(TrimTrailing(" a b "), " a b");
}

TEST(IfconfigOutput, HardwareAddressFollowsMarker) {
    EXPECT_EQ(HardwareAddress("eth0  Link encap:Ethernet  HWaddr 02:4B:56:00:00:01  \n"), "02:4B:56:00:00:01");
    EXPECT_EQ(HardwareAddress("eth0: flags=4163\n"), "");
    EXPECT_EQ(HardwareAddress("HWaddr 02:4B"), "02:4B");
}

TEST(VersionOutput, OnlyTextAfterTavoPrefix) {
    std::string version;
    EXPECT_TRUE(VersionFromOutput("tavo 2.1.0\n", version));
    EXPECT_EQ(version, "2.1.0");
    EXPECT_TRUE(VersionFromOutput("tavo 3.0\r\nbuild 7\n", version));
    EXPECT_EQ(version, "3.0");
    EXPECT_FALSE(VersionFromOutput("Tavo 2.1.0\n", version));
    EXPECT_FALSE(VersionFromOutput("tavo", version));
    EXPECT_FALSE(VersionFromOutput("", version));
}

TEST(Listings, CameraFolders) {
    EXPECT_EQ(FilterListing("cam1/\ncam/\nca/\ncam2\nreadme.txt\nlost+found/\ncamera 3/", ListingLevel::Cameras),
              (std::vector<std::string>{"cam1", "cam", "camera 3"}));
}

TEST(Listings, FoldersAndFiles) {
    EXPECT_EQ(FilterListing("2026-12-07/\nx/\n/\nindex.txt\n08/\n", ListingLevel::Folders),
              (std::vector<std::string>{"2026-12-07", "x", "08"}));
    EXPECT_EQ(FilterListing("a.mp4\n.mp4\nb.MP4\nc.mp4/\nindex.txt\nlong name.mp4", ListingLevel::Files),
              (std::vector<std::string>{"a.mp4", "long name.mp4"}));
    EXPECT_TRUE(FilterListing("", ListingLevel::Files).empty());
}

TEST(Listings, ForgedNamesCannotLeaveTheLocalFolder) {
    EXPECT_EQ(FilterListing("../\n./\n..//\na/b/\nc\\d/\nok/\n", ListingLevel::Folders),
              (std::vector<std::string>{"ok"}));
    EXPECT_EQ(FilterListing("cam/../../x/\ncam1/\n", ListingLevel::Cameras), (std::vector<std::string>{"cam1"}));
    EXPECT_EQ(FilterListing("../../../tmp/x.mp4\nx.mp4\n", ListingLevel::Files), (std::vector<std::string>{"x.mp4"}));
    EXPECT_TRUE(FilterListing(std::string("a\0b.mp4\n", 8), ListingLevel::Files).empty());
}

TEST(Listings, NamesInTheListingCommandStayNames) {
    EXPECT_EQ(ShellWord("cam1"), "cam1");
    EXPECT_EQ(ShellWord("2026-12-07"), "2026-12-07");
    EXPECT_EQ(ShellWord("camera 3"), "'camera 3'");
    EXPECT_EQ(ShellWord("cam$(reboot)"), "'cam$(reboot)'");
    EXPECT_EQ(ShellWord("cam;rm x"), "'cam;rm x'");
    EXPECT_EQ(ShellWord("it's"), "'it'\\''s'");
    EXPECT_EQ(ShellWord(""), "''");
}

TEST(Listings, HourLines) {
    EXPECT_EQ(HourLine("08"), "08:00");
    EXPECT_EQ(HourLine("13-recording"), "13:00");
    EXPECT_EQ(HourLine("7"), "");
}

TEST(FactoryRecord, CameraCountField) {
    const uint8_t three[] = {0x08, 0x03};
    const uint8_t seven[] = {0x08, 0x07};
    EXPECT_EQ(DecodeFactoryConfig(three, sizeof three), 3u);
    EXPECT_EQ(DecodeFactoryConfig(seven, sizeof seven), 7u);
    EXPECT_EQ(DecodeFactoryConfig(nullptr, 0), 0u); // every field absent
    // A length-delimited field 2 first, then field 1.
    const uint8_t otherFirst[] = {0x12, 0x03, 'a', 'b', 'c', 0x08, 0x05};
    EXPECT_EQ(DecodeFactoryConfig(otherFirst, sizeof otherFirst), 5u);
}

TEST(FactoryRecord, InvalidOrNegative) {
    const uint8_t truncated[] = {0x08, 0x83};
    EXPECT_EQ(DecodeFactoryConfig(truncated, sizeof truncated), 0u);
    const uint8_t badLength[] = {0x12, 0x40, 'a'}; // claims 64 bytes, holds 1
    EXPECT_EQ(DecodeFactoryConfig(badLength, sizeof badLength), 0u);
    const uint8_t wrongWireType[] = {0x0A, 0x01, 0x03}; // field 1 as bytes
    EXPECT_EQ(DecodeFactoryConfig(wrongWireType, sizeof wrongWireType), 0u);
    // -1 as int32 (ten-byte varint) reads as the largest unsigned number.
    const uint8_t minusOne[] = {0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01};
    EXPECT_EQ(DecodeFactoryConfig(minusOne, sizeof minusOne), 0xFFFFFFFFu);
}

} // namespace
} // namespace korvex
