#include "app/frame/DeviceWindowSet.h"

#include "app/device/DeviceCommands.h"
#include "app/device/RememberedDevices.h"
#include "app/sinks/DeviceDialogSinks.h"
#include "devicelink/Connection.h"
#include "devicelink/ProgramHistory.h"

namespace korvex {

DeviceWindowSet::DeviceWindowSet(QWidget& owner, Prompter& prompter, const Places& places)
    : history(std::make_unique<ProgramHistory>(places.historyRoot)),
      sinks(std::make_unique<DeviceDialogSinks>()),
      remembered(std::make_unique<RememberedDevices>(places.rememberedFile)) {
    commands = new DeviceCommands(owner, prompter, *sinks, *remembered, history->Root());
    sinks->SetCommands(commands);
}

// An upload keeps the program it replaces in History(); the download's path
// is asked before the job, so the session never waits for a file dialog.
void DeviceWindowSet::Bind(Connection& session) {
    sinks->Bind(session);
}

HostKeySink& DeviceWindowSet::HostKeys() {
    return sinks->HostKeys();
}

DeviceResultSink& DeviceWindowSet::Results() {
    return sinks->Results();
}

DeviceWindowSet::~DeviceWindowSet() {
    // The windows first: they use the forwarders and the remembered devices.
    delete commands.data();
}

} // namespace korvex
