// Typed requests: posted with their job code, taken over by the session
// thread when the job starts, and answered with a result when it ends.

#include "devicelink/Connection.h"
#include "framework/Trace.h"

#include <iterator>
#include <type_traits>

namespace korvex {

int32_t JobOf(const DeviceRequest& request) {
    if (const auto* list = std::get_if<ListLevelRequest>(&request))
        return list->level >= 0 && list->level <= 3 ? JobListCameras - list->level : JobNone;
    static constexpr int32_t codes[] = {
        JobConnect,         JobDisconnect,  JobChangePassword, JobRestart, JobUploadProgram,
        JobDownloadProgram, JobReadNetwork, JobWriteNetwork,   JobNone,    JobDownloadRecordings};
    static_assert(std::size(codes) == std::variant_size_v<DeviceRequest>);
    return codes[request.index()];
}

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Ok:
        return "ok";
    case Outcome::Failed:
        return "failed";
    case Outcome::Busy:
        return "busy";
    case Outcome::NotConnected:
        return "not connected";
    case Outcome::KeyUnconfirmed:
        return "device key not confirmed";
    case Outcome::Stopped:
        return "stopped";
    }
    return "?";
}

// Any thread: the request goes into the mailbox and its code into `job`
// (release, so the thread that sees the code finds the request) when no
// job is pending and the thread has not ended.
bool Connection::Hand(Posted& posted) {
    const int32_t code = JobOf(posted.request);
    if (code == JobNone)
        return false;
    std::lock_guard<std::mutex> guard(mailboxLock);
    if (ended || job.load(std::memory_order_acquire) != 0)
        return false;
    mailbox = std::move(posted);
    job.store(code, std::memory_order_release);
    return true;
}

bool Connection::Post(DeviceRequest request) {
    Posted posted{std::move(request), std::nullopt};
    return Hand(posted);
}

std::future<DeviceResult> Connection::Submit(DeviceRequest request) {
    Posted posted{std::move(request), std::promise<DeviceResult>()};
    std::future<DeviceResult> future = posted.promise->get_future();
    const bool runnable = JobOf(posted.request) != JobNone;
    if (!Hand(posted)) {
        // Refused: the request stays with the caller's copy, and the
        // pending job (if any) is untouched.
        DeviceResult refused;
        refused.outcome = !runnable ? Outcome::Failed : StopRequested() ? Outcome::Stopped : Outcome::Busy;
        refused.error = !runnable ? "no such job" : OutcomeName(refused.outcome);
        posted.promise->set_value(std::move(refused));
    }
    return future;
}

// Session thread: the posted request's values become the job's.
void Connection::TakeRequest() {
    {
        std::lock_guard<std::mutex> guard(mailboxLock);
        current = mailbox ? std::move(*mailbox) : Posted{DisconnectRequest{}, std::nullopt};
        mailbox.reset();
    }
    result = DeviceResult();
    Apply(current.request);
}

// What the session keeps beyond the job: the device and the login.
void Connection::Apply(DeviceRequest& request) {
    if (auto* connect = std::get_if<ConnectDeviceRequest>(&request)) {
        deviceAddress = connect->deviceAddress;
        port = connect->port;
        userName = connect->userName;
        password = connect->password;
        knownHostsPath = connect->knownHostsPath.empty() ? defaultKnownHostsPath : connect->knownHostsPath;
    } else if (auto* change = std::get_if<ChangePasswordRequest>(&request)) {
        password = change->newPassword;
    }
}

void Connection::RunPostedJob(int32_t code) {
    TakeRequest();
    try {
        PerformJob(code);
    } catch (const std::exception& e) {
        // A job broken off by the stop request is not the user's error.
        if (StopRequested()) {
            Trace("Connection::Run: job %d ended by stop: %s\n", code, e.what());
            result.outcome = Outcome::Stopped;
        } else {
            statusBar.ShowError(e.what());
            result.outcome = Outcome::Failed;
        }
        result.error = e.what();
    }
    ReconnectAfterRestart();
    EndLostSession();
    EndJob(code);
}

// Session thread, after the job: the result goes out, the request (and the
// sinks it named, which belong to the caller) is let go, and the session is
// free for the next request before the waiting caller hears of it.
void Connection::EndJob(int32_t code) {
    if (results)
        results->JobEnded(code, result);
    std::optional<std::promise<DeviceResult>> promise = std::move(current.promise);
    current = Posted{DisconnectRequest{}, std::nullopt};
    job.store(0, std::memory_order_release);
    if (promise)
        promise->set_value(std::move(result));
    result = DeviceResult();
}

// The thread has ended (or never ran): a request still in the mailbox is
// answered as stopped, and none is taken from now on.
void Connection::AbandonMailbox() {
    std::optional<Posted> left;
    {
        std::lock_guard<std::mutex> guard(mailboxLock);
        ended = true;
        left.swap(mailbox);
    }
    if (left && left->promise) {
        DeviceResult stopped;
        stopped.outcome = Outcome::Stopped;
        stopped.error = OutcomeName(Outcome::Stopped);
        left->promise->set_value(std::move(stopped));
    }
}

bool Connection::RequireConnection() {
    if (connected.load(std::memory_order_acquire))
        return true;
    result.outcome = Outcome::NotConnected;
    result.error = OutcomeName(Outcome::NotConnected);
    return false;
}

} // namespace korvex
