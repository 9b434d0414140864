#include "cli/FleetRun.h"

#include "cli/Cli.h"
#include "devicelink/DeviceList.h"
#include "devicelink/ProgramHistory.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

namespace korvex::cli {
namespace {

using Clock = std::chrono::steady_clock;
using namespace device;

// How long sessions that were broken off may take to end before the
// program ends without them.
constexpr auto EndGrace = std::chrono::seconds(5);

// What the device threads tell the coordinator: which devices are done.
struct Mailbox {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<size_t> done;
};

// One device: shared by the coordinator and the device's thread, which
// keeps it alive until it ends, so a device that was cut off may still
// finish (or be stopped) after it has been reported.
struct DeviceRun {
    DeviceRun(const Subcommand& command, Request request) : command(command), request(std::move(request)) {}
    const Subcommand& command;
    Request request;
    CancelFlag cancel;
    CollectedDiagnostics say;
    // Written by the device's thread before it posts its index, read after.
    int status = ExitFailure;
    DeviceResult value;
};

// The device's thread: one session from connect to disconnect.
void ServeDevice(const std::shared_ptr<DeviceRun>& run, const std::shared_ptr<Mailbox>& mailbox,
                 size_t index) {
    DeviceList devices;
    ProgramHistory history;
    DeviceResult value;
    int status = ExitFailure;
    try {
        status = RunOnDevice(run->command, run->request,
                             {run->say, devices, history, run->cancel, false, false}, value);
    } catch (const std::exception& e) {
        run->say.Error(e.what());
    }
    {
        std::lock_guard<std::mutex> guard(mailbox->lock);
        run->status = status;
        run->value = std::move(value);
        mailbox->done.push_back(index);
    }
    mailbox->changed.notify_all();
}

struct Slot {
    size_t index = 0;
    std::shared_ptr<DeviceRun> run;
    std::thread thread;
    Clock::time_point deadline;
};

void Emit(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

class Coordinator {
public:
    Coordinator(const FleetPlan& plan, const std::vector<FleetHost>& hosts) : plan(plan), hosts(hosts) {}
    ~Coordinator() { EndAbandoned(); }

    FleetTally Serve(const volatile std::sig_atomic_t& interrupted) {
        while (next < hosts.size() || !active.empty()) {
            if (interrupted && !interruptHandled)
                StopAll();
            StartMore();
            Collect(WaitForNews());
            CutOff();
        }
        return tally;
    }

private:
    void Finish(const FleetHost& host, bool ok, const nlohmann::ordered_json& payload) {
        Emit(FleetLine(host, ok, payload));
        ++tally.reported;
        if (ok)
            ++tally.succeeded;
    }

    // The request for one device: the checked operation, aimed at it.
    Request RequestFor(const FleetHost& host) const {
        Request r = plan.request;
        r.host = host.host;
        ParseHostAddress(r.host, r.hostOrder);
        r.port = host.port;
        if (r.word == "download")
            r.file = ExpandDevicePattern(r.file, host);
        return r;
    }

    void StartMore() {
        while (!interruptHandled && active.size() < plan.parallel && next < hosts.size()) {
            Slot slot;
            slot.index = next++;
            slot.run = std::make_shared<DeviceRun>(plan.command, RequestFor(hosts[slot.index]));
            slot.deadline = Clock::now() + std::chrono::seconds(plan.timeout_s);
            try {
                slot.thread = std::thread(ServeDevice, slot.run, mailbox, slot.index);
            } catch (const std::exception& e) {
                Finish(hosts[slot.index], false, std::string("cannot start a thread: ") + e.what());
                continue;
            }
            active.push_back(std::move(slot));
        }
    }

    // The devices that ended since the last look, waiting for one at most
    // until the nearest deadline or 100 ms (a signal is looked at then).
    std::vector<size_t> WaitForNews() {
        Clock::time_point until = Clock::now() + std::chrono::milliseconds(100);
        for (const Slot& slot : active)
            until = std::min(until, slot.deadline);
        std::unique_lock<std::mutex> guard(mailbox->lock);
        mailbox->changed.wait_until(guard, until, [&] { return !mailbox->done.empty(); });
        std::vector<size_t> done;
        done.swap(mailbox->done);
        return done;
    }

    void Collect(const std::vector<size_t>& done) {
        for (size_t index : done) {
            const auto running = Find(active, index);
            if (running == active.end()) {
                ended.push_back(index); // a device that was cut off has ended now
                continue;
            }
            running->thread.join();
            Report(*running);
            active.erase(running);
        }
    }

    void Report(const Slot& slot) {
        const FleetHost& host = hosts[slot.index];
        const std::vector<std::string> messages = slot.run->say.Messages();
        if (slot.run->status == ExitOk) {
            Finish(host, true, ResultJson(slot.run->value));
            // Notes of a successful run (a newly recorded host key) stay visible.
            if (const std::string notes = FleetErrorText(messages, ""); !notes.empty())
                std::fprintf(stderr, "korvex-cli: %s:%u: %s\n", host.host.c_str(), host.port, notes.c_str());
        } else {
            Finish(host, false,
                   FleetErrorText(messages, "failed with exit status " + std::to_string(slot.run->status)));
        }
    }

    // A device past its deadline is reported at once and broken off; its
    // place goes to the next device while its session ends.
    void CutOff() {
        const auto now = Clock::now();
        for (auto it = active.begin(); it != active.end();) {
            if (now < it->deadline) {
                ++it;
                continue;
            }
            Finish(hosts[it->index], false,
                   "cut off: no result within " + std::to_string(plan.timeout_s) + " s");
            Abandon(*it);
            it = active.erase(it);
        }
    }

    // After an interrupt nothing more is started and the running devices
    // are broken off.
    void StopAll() {
        interruptHandled = true;
        for (; next < hosts.size(); ++next)
            Finish(hosts[next], false, "not run: interrupted");
        for (Slot& slot : active) {
            Finish(hosts[slot.index], false, "interrupted");
            Abandon(slot);
        }
        active.clear();
    }

    void Abandon(Slot& slot) {
        slot.run->cancel.Set();
        abandoned.push_back(std::move(slot));
    }

    // Waits a few seconds for the sessions that were broken off; when one
    // of them is still stuck the program ends without it, since its thread
    // must not outlive what it uses.
    void EndAbandoned() {
        const auto until = Clock::now() + EndGrace;
        while (!abandoned.empty()) {
            Collect(WaitForNews());
            for (size_t index : ended) {
                const auto slot = Find(abandoned, index);
                if (slot != abandoned.end()) {
                    slot->thread.join();
                    abandoned.erase(slot);
                }
            }
            ended.clear();
            if (!abandoned.empty() && Clock::now() >= until) {
                std::fprintf(stderr, "korvex-cli: %zu of %zu devices succeeded\n", tally.succeeded,
                             tally.reported);
                std::fflush(nullptr);
                std::_Exit(ExitFailure);
            }
        }
    }

    static std::vector<Slot>::iterator Find(std::vector<Slot>& slots, size_t index) {
        return std::find_if(slots.begin(), slots.end(), [&](const Slot& s) { return s.index == index; });
    }

    const FleetPlan& plan;
    const std::vector<FleetHost>& hosts;
    std::shared_ptr<Mailbox> mailbox = std::make_shared<Mailbox>();
    std::vector<Slot> active, abandoned;
    std::vector<size_t> ended;
    size_t next = 0;
    FleetTally tally;
    bool interruptHandled = false;
};

} // namespace

FleetTally ServeFleet(const FleetPlan& plan, const std::vector<FleetHost>& hosts,
                      const volatile std::sig_atomic_t& interrupted) {
    Coordinator coordinator(plan, hosts);
    return coordinator.Serve(interrupted);
}

} // namespace korvex::cli
