// The device list pane fed by the device list through its forwarder, as the
// discovery thread feeds it: lines that give way in a full list, the first
// row while discovery is off, and names that try to reorder a row.

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
    EXPECT_EQ(pane.explorer.List()->item(0)->toolTip(), QString::fromStdString(problem)); // a narrow pane
    std::thread([&] { pane.list.SetDiscoveryProblem(""); }).join();
    RunIdle();
    ASSERT_EQ(pane.Rows().size(), 1);
    EXPECT_TRUE(pane.Rows().front().startsWith(QStringLiteral("0.0.0.0 \u2014 ")))
        << pane.Rows().front().toStdString();
}

TEST(ExplorerTest, NamesCannotReorderTheirRow) {
    ExplorerOnList pane(8);
    // A right-to-left override, then a right-to-left isolate left open.
    pane.list.DeviceSeen(0x1400A8C0u, "evil\xe2\x80\xae)02.0.861.291", 1);
    pane.list.DeviceSeen(0x1500A8C0u, "\xe2\x81\xa7open", 2);
    // A Hebrew name: kept, but isolated from the address and the brackets.
    pane.list.DeviceSeen(0x1600A8C0u, "\xd7\xa9\xd7\xa2\xd7\xa8 1", 3);
    RunIdle();
    const QStringList rows = pane.Rows();
    ASSERT_EQ(rows.size(), 4);
    for (const QString& row : rows)
        for (QChar c : row)
            EXPECT_FALSE((c.unicode() >= 0x202A && c.unicode() <= 0x202E) ||
                         (c.unicode() >= 0x2066 && c.unicode() <= 0x2067))
                << row.toStdString();
    EXPECT_TRUE(rows[1].startsWith(QStringLiteral("192.168.0.20 (evil")));
    EXPECT_TRUE(rows[2].startsWith(QStringLiteral("192.168.0.21 (")));
    EXPECT_EQ(rows[3], QStringLiteral("192.168.0.22 (\u2068\u05e9\u05e2\u05e8 1\u2069)"));
    // So are the names of remembered devices, which were stored before.
    QList<RememberedDevice> remembered;
    remembered.push_back({"10.0.0.2", 22, "admin", QString::fromUtf8("x\xe2\x80\xae\xd7\xa9y"), {}});
    pane.explorer.ShowRemembered(remembered, {});
    EXPECT_EQ(pane.explorer.RememberedList()->item(0)->text(),
              QStringLiteral("admin@10.0.0.2 (\u2068x\u05e9y\u2069)"));
    // Direct lines that bypass the list's escaping are cleaned as well.
    EXPECT_FALSE(Explorer::RowText("10.0.0.1 (a\xe2\x80\xae"
                                   "b)")
                     .contains(QChar(0x202E)));
}

} // namespace
} // namespace korvex::test
