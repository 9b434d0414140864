// The device windows' pieces that need no device: the address field, the
// network value checks, the remembered devices and their explorer list.

#include "AppTestSupport.h"
#include "app/device/Explorer.h"
#include "app/device/Ipv4Edit.h"
#include "app/device/NetworkDialog.h"
#include "app/device/RememberedDevices.h"

#include <QListWidget>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <fstream>

namespace korvex::test {
namespace {

TEST(Ipv4EditTest, ParsesOnlyFourOctetsAndConvertsByteOrders) {
    EnsureApplication();
    EXPECT_EQ(Ipv4Edit::Parse("192.168.0.20"), 0xC0A80014u);
    EXPECT_EQ(Ipv4Edit::Parse("0.0.0.0"), 0u);
    for (const char* bad :
         {"192.168.0", "192.168.0.256", "1.2.3.4.5", "1..2.3", " 1.2.3.4", "1.2.3.+4", "a.b.c.d", ""})
        EXPECT_FALSE(Ipv4Edit::Parse(bad).has_value()) << bad;
    Ipv4Edit edit;
    edit.SetNetworkAddress(0x1400A8C0u); // 192.168.0.20, first octet in the lowest byte
    EXPECT_EQ(edit.text(), "192.168.0.20");
    EXPECT_EQ(edit.NetworkAddress(), 0x1400A8C0u);
    EXPECT_EQ(edit.Address(), 0xC0A80014u);
    // Typing stops at what can never become an address.
    edit.clear();
    QTest::keyClicks(&edit, "300.1");
    EXPECT_EQ(edit.text(), "30.1");
    edit.SetMarked(true, "why");
    EXPECT_TRUE(edit.Marked());
    EXPECT_EQ(edit.toolTip(), "why");
    QTest::keyClicks(&edit, "0");
    EXPECT_FALSE(edit.Marked()); // editing clears the mark
}

TEST(NetworkChecksTest, RefusesWhatTheDeviceCannotUse) {
    using F = NetworkField;
    auto ok = [](F f, const char* text) { return NetworkValueProblem(f, *Ipv4Edit::Parse(text)) == 0; };
    EXPECT_TRUE(ok(F::DeviceAddress, "192.168.0.20"));
    EXPECT_FALSE(ok(F::DeviceAddress, "0.0.0.0"));
    EXPECT_FALSE(ok(F::DeviceAddress, "255.255.255.255"));
    EXPECT_FALSE(ok(F::DeviceAddress, "224.0.0.1"));
    EXPECT_FALSE(ok(F::Gateway, "239.255.255.255"));
    EXPECT_TRUE(ok(F::Gateway, "223.255.255.254"));
    EXPECT_TRUE(ok(F::Gateway, "240.0.0.1"));
    EXPECT_FALSE(ok(F::Controller, "0.0.0.0"));
    EXPECT_TRUE(ok(F::Camera, "0.0.0.0")); // no camera on the row
    EXPECT_FALSE(ok(F::Camera, "230.1.1.1"));
    for (const char* mask : {"255.255.255.0", "255.255.255.252", "128.0.0.0", "255.255.254.0"})
        EXPECT_TRUE(ok(F::Netmask, mask)) << mask;
    for (const char* mask : {"255.0.255.0", "0.0.0.0", "255.255.255.255", "255.255.255.1", "0.255.255.255"})
        EXPECT_FALSE(ok(F::Netmask, mask)) << mask;
}

TEST(RememberedDevicesTest, KeepsMostRecentFirstAndSurvivesABrokenLine) {
    EnsureApplication();
    TempDir temp;
    const QString file = QString::fromStdString(temp.Path() + "/devices.ini");
    RememberedDevices devices(file);
    const QDateTime t0 = QDateTime::fromSecsSinceEpoch(1800000000, Qt::UTC);
    devices.Remember("192.168.0.20", 22, "admin", "Gate", t0);
    devices.Remember("10.1.2.3", 2222, "service", "", t0.addSecs(10));
    devices.Remember("192.168.0.20", 22, "admin", "", t0.addSecs(20)); // again: alias kept
    auto all = devices.All();
    ASSERT_EQ(all.size(), 2);
    EXPECT_EQ(all[0].address, "192.168.0.20");
    EXPECT_EQ(all[0].alias, "Gate");
    EXPECT_EQ(all[1].port, 2222);
    EXPECT_EQ(devices.Find("10.1.2.3", 2222)->user, "service");
    EXPECT_FALSE(devices.Find("10.1.2.3", 22).has_value());
    EXPECT_EQ(devices.FindAddress("10.1.2.3")->port, 2222);
    devices.Remember("not an address", 22, "x", "");
    EXPECT_EQ(devices.All().size(), 2);

    // A line edited by hand into nonsense costs that line only.
    {
        std::ofstream out(file.toStdString(), std::ios::app);
        out << "\n";
    }
    QSettings raw(file, QSettings::IniFormat);
    raw.setValue("devices/3/address", "999.1.1.1");
    raw.setValue("devices/size", 3);
    raw.sync();
    EXPECT_EQ(RememberedDevices(file).All().size(), 2);

    devices.Forget("192.168.0.20", 22);
    all = devices.All();
    ASSERT_EQ(all.size(), 1);
    EXPECT_EQ(all[0].address, "10.1.2.3");
    for (int i = 0; i < RememberedDevices::Limit + 5; ++i)
        devices.Remember(QStringLiteral("10.0.%1.%2").arg(i / 250).arg(i % 250 + 1), 22, "u", "",
                         t0.addSecs(100 + i));
    EXPECT_EQ(devices.All().size(), RememberedDevices::Limit);
}

TEST(RememberedDevicesTest, ExplorerListsThemMarkedWhenNotHeardAndAsksToConnect) {
    EnsureApplication();
    Explorer explorer;
    EXPECT_TRUE(explorer.RememberedList()->isHidden());
    QList<RememberedDevice> devices;
    devices.push_back({"192.168.0.20", 22, "admin", "Gate", {}});
    devices.push_back({"10.1.2.3", 2222, "service", "", {}});
    explorer.ShowRemembered(devices, [](const QString& address) { return address == "192.168.0.20"; });
    QListWidget* list = explorer.RememberedList();
    EXPECT_FALSE(list->isHidden());
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "admin@192.168.0.20 (Gate)");
    EXPECT_TRUE(list->item(1)->text().startsWith("service@10.1.2.3:2222 "));
    EXPECT_GT(list->item(1)->text().size(), QString("service@10.1.2.3:2222 ").size()); // marked
    QSignalSpy chosen(&explorer, &Explorer::RememberedChosen);
    Q_EMIT list->itemActivated(list->item(1));
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(chosen[0][0].toString(), "10.1.2.3");
    EXPECT_EQ(chosen[0][1].value<uint16_t>(), 2222);
}

} // namespace
} // namespace korvex::test
