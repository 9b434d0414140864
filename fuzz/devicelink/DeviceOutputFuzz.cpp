// Command output and file contents the device sends back: settings, camera
// and controller files, ifconfig, version, listings, date.
#include "devicelink/Connection.h"
#include "devicelink/DeviceTexts.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    using namespace korvex;
    // An address that was read writes back to a text that reads the same.
    if (const auto value = SettingsValue(text, "ipaddr"))
        if (const auto address = ParseAddressText(*value))
            if (ParseAddressText(HostAddressText(*address)) != address)
                std::abort();
    // A camera file that reads back must write back to content that reads
    // back the same.
    if (const auto camera = ParseCameraFile(TrimTrailing(text))) {
        const auto again = ParseCameraFile(CameraFileContent(camera->address, camera->channel));
        if (camera->address != 0 && (!again || again->address != camera->address || again->channel != camera->channel))
            std::abort();
    }
    if (HardwareAddress(text).size() > 17)
        std::abort();
    std::string version;
    VersionFromOutput(text, version);
    for (ListingLevel level : {ListingLevel::Cameras, ListingLevel::Folders, ListingLevel::Files})
        for (const std::string& name : FilterListing(text, level)) {
            if (name.find('\n') != std::string::npos)
                std::abort();
            HourLine(name);
            // A listed name goes into the next listing command as one shell
            // word: quoted, it must read back as exactly the name.
            const std::string word = ShellWord(name);
            if (word != name) {
                if (word.size() < 2 || word.front() != '\'' || word.back() != '\'')
                    std::abort();
                const std::string inner = word.substr(1, word.size() - 2);
                std::string back;
                for (size_t i = 0; i < inner.size();) {
                    if (inner.compare(i, 4, "'\\''") == 0) {
                        back += '\'';
                        i += 4;
                    } else if (inner[i] == '\'') {
                        std::abort();
                    } else {
                        back += inner[i++];
                    }
                }
                if (back != name)
                    std::abort();
            }
        }
    ClockCommand(text, SystemUtc100ns());
    return 0;
}
