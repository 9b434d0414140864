// Discovery datagrams come from any host on the network.
#include "devicelink/Announcement.h"
#include "devicelink/DeviceList.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string alias = korvex::ParseAnnouncement(reinterpret_cast<const char*>(data), size);
    if (alias.size() > 63 || alias.find('`') != std::string::npos || alias.find('\n') != std::string::npos)
        std::abort();
    korvex::DeviceList list(4);
    list.DeviceSeen(size > 3 ? data[0] | data[1] << 8 : 1u, alias, 1);
    list.DeviceSeen(size, alias, 2);
    if (list.Size() > 4)
        std::abort();
    return 0;
}
