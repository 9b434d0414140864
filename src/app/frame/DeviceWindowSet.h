#pragma once

#include <QPointer>
#include <QString>
#include <memory>
#include <string>

class QWidget;

namespace korvex {

class Connection;
class DeviceCommands;
class HostKeySink;
class DeviceResultSink;
class DeviceDialogSinks;
class ProgramHistory;
class Prompter;
class RememberedDevices;

// The device windows over one device session, wired together: the programs
// kept before uploads (which the session fills), the forwarders of the
// session's dialog sinks, the devices used before and the Device menu's
// windows. The set is made first; the session is made with its host-key
// sink and program history, then bound to it. The frame makes one over its
// session; tests make one over a session of their own.
class DeviceWindowSet {
public:
    // Where the kept programs and the remembered devices live; empty: the
    // user's usual places.
    struct Places {
        std::string historyRoot;
        QString rememberedFile;
    };

    // The Device menu's windows are children of `owner`; they go with this
    // set or with the owner, whichever goes first.
    DeviceWindowSet(QWidget& owner, Prompter& prompter, const Places& places = {});
    ~DeviceWindowSet();
    DeviceWindowSet(const DeviceWindowSet&) = delete;
    DeviceWindowSet& operator=(const DeviceWindowSet&) = delete;

    // The session the windows post to (made with HostKeys() and History()).
    void Bind(Connection& session);
    HostKeySink& HostKeys();
    DeviceResultSink& Results();

    DeviceCommands& Commands() { return *commands; }
    DeviceDialogSinks& Sinks() { return *sinks; }
    RememberedDevices& Remembered() { return *remembered; }
    ProgramHistory& History() { return *history; }

private:
    std::unique_ptr<ProgramHistory> history;
    std::unique_ptr<DeviceDialogSinks> sinks;
    std::unique_ptr<RememberedDevices> remembered;
    QPointer<DeviceCommands> commands;
};

} // namespace korvex
