// The device list pane fed by the device list through its forwarder, as the
// discovery thread feeds it: lines that give way in a full list, and the
// first row while discovery is off.

#include "app/device/Explorer.h"

#include "AppTestSupport.h"
#include "app/sinks/DeviceListForwarder.h"
#include "devicelink/DeviceList.h"

#include <QListWidget>
#include <QSignalSpy>
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

TEST(ExplorerTest, RowsFollowAFullListAndTheChosenDeviceStaysChosen) {
    ExplorerOnList pane(4);
    pane.list.DeviceSeen(0x1400A8C0u, "Gate", 10); // 192.168.0.20
    pane.list.DeviceSeen(0x1500A8C0u, "Chosen", 20);
    RunIdle();
    QSignalSpy chosen(&pane.explorer, &Explorer::RowChosen);
    pane.explorer.List()->setCurrentRow(2);
    pane.list.Select(2); // as the session does on RowChosen
    // A flood from another thread: each new sender pushes the oldest out.
    std::thread flood([&] {
        for (uint32_t i = 1; i <= 30; ++i)
            pane.list.DeviceSeen(0x0000000Au | (i << 24), "", 100 + i);
    });
    flood.join();
    RunIdle();
    QStringList expected;
    for (const std::string& line : pane.list.Lines())
        expected << QString::fromStdString(line);
    EXPECT_EQ(pane.Rows(), expected);
    ASSERT_EQ(pane.Rows().size(), 4);
    EXPECT_EQ(pane.Rows()[1], QStringLiteral("192.168.0.21 (Chosen)"));
    EXPECT_EQ(pane.explorer.List()->currentRow(), 1); // moved up with its device
    EXPECT_EQ(pane.list.SelectedAddress(), 0x1500A8C0u);
    EXPECT_EQ(chosen.size(), 1); // only the user's own choice was reported
    EXPECT_TRUE(pane.explorer.Caption().endsWith(QStringLiteral(" (3)")));
}

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
