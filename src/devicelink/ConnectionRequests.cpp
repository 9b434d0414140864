// Typed requests: posted with their job code, taken over by the session
// thread when the job starts, and answered with a result when it ends.

#include "devicelink/Connection.h"
#include "framework/Trace.h"

#include <variant>

namespace korvex {

namespace {

struct JobCodeOf {
    int32_t operator()(const ConnectDeviceRequest&) const { return JobConnect; }
    int32_t operator()(const DisconnectRequest&) const { return JobDisconnect; }
    int32_t operator()(const ChangePasswordRequest&) const { return JobChangePassword; }
    int32_t operator()(const RestartRequest&) const { return JobRestart; }
    int32_t operator()(const UploadProgramRequest&) const { return JobUploadProgram; }
    int32_t operator()(const DownloadProgramRequest&) const { return JobDownloadProgram; }
    int32_t operator()(const ReadNetworkRequest&) const { return JobReadNetwork; }
    int32_t operator()(const WriteNetworkRequest&) const { return JobWriteNetwork; }
    int32_t operator()(const ListLevelRequest& list) const {
        return list.level >= 0 && list.level <= 3 ? JobListCameras - list.level : JobNone;
    }
    int32_t operator()(const DownloadRecordingsRequest&) const { return JobDownloadRecordings; }
    int32_t operator()(const SyncClockRequest&) const { return JobSyncClock; }
};

} // namespace

int32_t JobOf(const DeviceRequest& request) {
    return std::visit(JobCodeOf{}, request);
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
    mailboxChanged.notify_all();
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

void Connection::RunPostedJob() {
    const int32_t code = job.load(std::memory_order_acquire);
    TakeRequest();
    try {
        PerformJob();
    } catch (const std::exception& e) {
        // A job broken off by the stop request is not the user's error.
        if (StopRequested()) {
            Trace("Connection::Run: job %d ended by stop: %s\n", code, e.what());
            result.outcome = Outcome::Stopped;
        } else {
            status.ShowError(e.what());
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
    result.status = status.Last();
    Trace("Connection: job %d ended: %s\n", code, OutcomeName(result.outcome));
    if (results)
        results->JobEnded(result);
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
