// The device list pane fed by the device list through its forwarder, as the
// discovery thread feeds it.

#include "app/device/Explorer.h"

#include "AppTestSupport.h"
#include "app/sinks/DeviceListForwarder.h"
#include "devicelink/DeviceList.h"

#include <QListWidget>
#include <thread>

namespace korvex::test {
namespace {

struct ExplorerOnList {
    explicit ExplorerOnList(size_t capacity) : list(capacity), forwarder(list) {
        forwarder.AttachExplorer(&explorer);
        list.SetSink(&forwarder);
    }
    ~ExplorerOnList() { list.SetSink(nullptr); }
    QStringList Rows() const {
        QStringList rows;
        for (int i = 0; i < explorer.List()->count(); ++i)
            rows << explorer.List()->item(i)->text();
        return rows;
    }
    bool application = (EnsureApplication(), true); // before the widgets
    DeviceList list;
    DeviceListForwarder forwarder;
    Explorer explorer;
};

TEST(ExplorerTest, FirstRowSaysWhileDiscoveryIsOff) {
    ExplorerOnList pane(8);
    const std::string problem = "Device discovery is off: UDP port 21060 is in use by another program";
    std::thread([&] { pane.list.SetDiscoveryProblem(problem); }).join();
    RunIdle();
    EXPECT_EQ(pane.Rows(), QStringList{QString::fromStdString(problem)});
    std::thread([&] { pane.list.SetDiscoveryProblem(""); }).join();
    RunIdle();
    EXPECT_EQ(pane.Rows(), QStringList{QStringLiteral("0.0.0.0")});
}

} // namespace
} // namespace korvex::test
