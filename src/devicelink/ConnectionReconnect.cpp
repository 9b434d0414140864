// Logging in again after the device has restarted: a restart, an upload and
// a network write all end with the device rebooting, which ends the SSH
// session. The session keeps the credentials of its connect job (in memory
// only) and uses them once the device answers again, so the engineer need
// not connect and type the password after every iteration.
#include "devicelink/Connection.h"
#include "devicelink/DeviceTexts.h"
#include "devicelink/ServerGreeting.h"
#include "devicelink/SshSession.h"
#include "framework/StringTable.h"
#include "framework/TextIds.h"
#include "framework/Trace.h"

#include <algorithm>
#include <chrono>

namespace korvex {

namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A text of the string table with "%1" filled in.
std::string Filled(unsigned id, const std::string& value) {
    std::string text = LoadTextA(id);
    const size_t at = text.find("%1");
    return at == std::string::npos ? text + " " + value : text.replace(at, 2, value);
}

} // namespace

void Connection::ReconnectAfterRestart() {
    if (!restartSent)
        return;
    restartSent = false;
    if (!reconnectAfterRestart || StopRequested())
        return;
    // The old session ended with the reboot; it is closed without the
    // "not connected" text, as the session carries on.
    CloseSession();
    connected.store(false, std::memory_order_release);
    status.ShowText(LoadTextA(text::reconnect_waiting));
    status.ShowRestart(RestartStage::Waiting, "");
    // A job that failed after the restart (the device never came back in
    // its own wait) gets one more ask, not a second long wait.
    const unsigned wait = result.Ok() ? timing.reconnectWait_ms : 0;
    const int64_t start = NowMs();
    bool answers = false;
    for (;;) {
        const int64_t waited = NowMs() - start;
        const unsigned slice = unsigned(std::clamp<int64_t>(int64_t(wait) - waited, 1000, 5000));
        answers = SshServerAnswers(deviceAddress, port, slice, stopEvent);
        if (answers || StopRequested() || NowMs() - start >= int64_t(wait))
            break;
        if (SleepOrStop(timing.reconnectStep_ms))
            break;
    }
    if (StopRequested())
        return;
    if (!answers) {
        const std::string why = Filled(text::reconnect_no_answer, std::to_string(wait / 1000));
        status.ShowText(Filled(text::reconnect_failed, why));
        status.ShowRestart(RestartStage::Failed, why);
        return;
    }
    LogInAgain();
}

void Connection::LogInAgain() {
    std::string why;
    try {
        OpenAndLogIn();
    } catch (const std::exception& e) {
        why = e.what();
    } catch (...) {
        // The device offers another key than the one on record (or one
        // never seen): nothing was sent; the connect dialog's way asks.
        why = LoadTextA(text::reconnect_key_unconfirmed);
    }
    if (!why.empty()) {
        CloseSession();
        if (StopRequested())
            return;
        Trace("Connection::LogInAgain: %s\n", why.c_str());
        status.ShowText(Filled(text::reconnect_failed, why));
        status.ShowRestart(RestartStage::Failed, why);
        return;
    }
    session->StartKeepalive();
    StartTimedDuties();
    connected.store(true, std::memory_order_release);
    status.ShowText(LoadTextA(text::reconnect_connected_again) + ": " + userName + "@" +
                    NetworkAddressText(deviceAddress));
    status.ShowRestart(RestartStage::ConnectedAgain, "");
}

} // namespace korvex
