#pragma once

// korvex-devsim: a stand-in for the detection device on loopback. It sends
// the UDP announcements, serves the live picture stream and runs an SSH
// server with the device's commands and files, all from one object that
// integration tests start in-process on free ports.
//
// Typical test use:
//
//     korvex::devsim::Options options;
//     options.rootDir = temporaryFolder;      // created and filled on start
//     options.sshPort = 0;                    // 0 = pick a free port
//     options.livePort = 0;
//     options.announcePort = myUdpPort;       // where announcements go
//     korvex::devsim::DeviceSimulator device(options);
//     device.Start();
//     ... connect to device.SshPort() / device.LivePort() ...
//     device.WaitUntil([&] { return device.Commands().size() >= 2; }, 5000);
//     device.Stop();                          // returns within about a second
//
// Every method is safe to call from any thread while the simulator runs.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace korvex {
struct RenderState;
}

namespace korvex::devsim {

// What a camera streams on the live connection.
enum class CameraFormat {
    Grey180,   // format 0, 180 x 144, 8-bit grey
    Grey320,   // format 0, 320 x 240, 8-bit grey
    Colour320, // format 1, 320 x 240, 16-bit colour (5-6-5)
    Blank,     // format 2, 320 x 240, black region moving from the left
    H264,      // format 3, 352 x 288 H.264 units with the 8-byte preamble
};

// Parses "grey180", "grey320", "colour320" (or "color320"), "blank",
// "h264"; throws std::invalid_argument otherwise.
CameraFormat ParseCameraFormat(const std::string& text);
const char* CameraFormatName(CameraFormat format);

// Deliberate misbehaviour of the live stream. Each fault strikes once per
// connection, after `liveFaultAfter` well-formed messages have been sent and
// answered on that connection.
enum class LiveFault {
    None,
    Stall,          // send nothing more, keep the connection open
    Close,          // close the connection
    ShortHeader,    // a message header with headerLength 8 (< 16)
    OversizedUnit,  // an H.264 message whose unitLength is payloadLength - 7
    RandomBytes,    // 4096 random bytes instead of a message; goes on only if a reply still comes
    Raw,            // `liveRaw` sent as it stands in place of one message, then one reply is awaited
    EndlessPayload, // a message of an unknown kind announcing 4 GiB - 1 payload bytes, then bytes
                    // without end until the client goes away
    EndlessHeader,  // a picture message whose headerLength is 4 GiB - 16, then bytes without end
};

// Deliberately malformed announcements.
enum class AnnounceFault {
    None,
    NoPrefix,          // "HELLO\n" + alias line: no "VISION\n" first
    SingleByte,        // one byte "V"
    NoAlias,           // "VISION\n" alone
    UnterminatedAlias, // "VISION\nalias `<alias>" without the closing quote
    LongAlias,         // alias line with a 70-byte name
    Raw,               // `announceRaw` sent as it stands
};

struct FaultOptions {
    LiveFault liveFault = LiveFault::None;
    uint32_t liveFaultAfter = 0;
    std::string liveRaw; // for LiveFault::Raw: e.g. a hand-made header and payload
    AnnounceFault announceFault = AnnounceFault::None;
    std::string announceRaw;
    // The SSH server refuses every new session channel (so a liveness check
    // that opens a channel fails) while this is set.
    bool refuseChannels = false;
    // Exec commands other than scp answer nothing and never exit until the
    // client closes the channel or the simulator stops.
    bool hangCommands = false;
    // Exec commands other than scp say nothing for this long, then answer
    // as usual (a slow device).
    unsigned quietCommands_ms = 0;
    // A command that begins with this text (not empty) does not run: it
    // writes `failText` to standard error and exits with `failStatus`.
    std::string failCommand;
    int failStatus = 1;
    std::string failText;
    // Keys that "/tavo/ipconfig --show" leaves out of its output.
    std::vector<std::string> hiddenSettings;
    // An incoming SCP copy ("scp -t") breaks off after this many file bytes
    // (0 = never): the bytes so far are written over the target in place,
    // as a device whose link drops mid-copy leaves them, and the copy
    // program dies without an exit status.
    uint64_t cutUploadAfter = 0;
    // Device folders (such as "/etc/tavo") that belong to another user than
    // the login: no file can be created, renamed or removed in them, while
    // the files already there can still be written in place.
    std::vector<std::string> lockedFolders;
    // Commands end without an exit status (the channel just closes), as
    // some SSH servers end them.
    bool omitExitStatus = false;
};

struct Options {
    // Folder that holds the device's files: /tavo -> <root>/tavo,
    // /etc/tavo -> <root>/etc/tavo, /mnt/usbdrive -> <root>/mnt/usbdrive.
    // Created with default content on first start. Required.
    std::string rootDir;
    std::string alias = "devsim";

    // Every server listens on this address (loopback by default).
    std::string bindAddress = "127.0.0.1";
    uint16_t sshPort = 2222;   // 0 = free port, see SshPort()
    uint16_t livePort = 25100; // 0 = free port, see LivePort()

    bool announce = true;
    std::string announceAddress = "127.0.0.1";
    uint16_t announcePort = 21060;
    unsigned announceInterval_ms = 1000;

    // Cameras on the live stream (1..8) and the format of each; a camera
    // without an entry in `formats` streams Grey320.
    unsigned cameraCount = 1;
    std::vector<CameraFormat> formats;
    unsigned fps = 5;               // picture rounds per second (1..60)
    unsigned keyFrameInterval = 10; // H.264: a key frame every N units
    unsigned blurEvery = 0;         // pictures whose frameNumber % N == 0 carry the blur flag; 0 = never

    // Scenes instead of test pictures: each camera with a card shows that
    // card's background with traffic moving over it, tuning traces measure
    // the detectors on those pictures, and the recordings are short H.264
    // clips of the scenes. `scenesState` (a project in memory) comes before
    // `scenesProject` (a project file); with neither, test pictures.
    std::string scenesProject;
    std::shared_ptr<const RenderState> scenesState;
    uint32_t sceneSeed = 1;
    // With scenes: write the recordings (in the background, about a second
    // of work per clip in a sanitizer build); tests that do not look at
    // them turn this off.
    bool sceneRecordings = true;
    // Cameras whose picture starts moved (a knocked camera).
    struct Shift {
        unsigned camera = 0; // 0..7
        int dx = 0, dy = 0;  // scene pixels (320 x 240)
    };
    std::vector<Shift> shifts;

    // Camera number written into the factory record on first start;
    // -1 = cameraCount.
    int factoryCameraCount = -1;

    std::string user = "admin";
    std::string password = "admin";
    std::string version = "tavo 2.1.0"; // output line of "/tavo/tavo --version"
    std::string hwAddress = "02:4B:56:00:00:01";
    int64_t clockOffset_s = 0;   // device clock = system UTC + offset
    unsigned restartSeconds = 5; // how long "sync && /tavo/restart" takes

    // Private host key file (OpenSSH or PEM format). Empty: the key kept in
    // <root>/etc/tavo/ssh_host_key, generated on first start. Point two runs
    // at different files to simulate a changed host key.
    std::string hostKeyFile;

    FaultOptions faults;
};

// One exec request on the SSH server.
struct CommandRecord {
    std::string user;
    std::string command;     // as the client sent it
    int exitStatus = -1;     // -1 while running or when the channel was cut
    std::string output;      // what went to standard output
    std::string errorOutput; // what went to standard error
};

// One file copied by SCP.
struct TransferRecord {
    enum class Direction { FromDevice, ToDevice };
    Direction direction = Direction::FromDevice;
    std::string devicePath; // absolute device path of the file
    uint64_t size = 0;      // size announced in the "C" line
    uint32_t mode = 0;      // permission bits of the "C" line
    bool withTimes = false; // a "T" line went with it
    bool complete = false;  // all bytes transferred (and, upload, file written)
    std::string error;      // why it failed, empty when complete
};

// One 64-byte answer of the live client, as received.
struct LiveReplyRecord {
    uint32_t length = 0;
    uint32_t frameNumber = 0;
    uint8_t camera = 0;
    uint8_t options = 0;
    uint32_t mask = 0; // mask0 | mask1 << 8 | mask2 << 16
    uint8_t tuningDetector = 0;
    uint8_t tuningCamera = 0;
    std::array<uint8_t, 64> raw{};
};

// One message the live server sent.
struct LiveMessageRecord {
    uint32_t frameNumber = 0;
    uint8_t kind = 0; // 1 picture, 2 tuning trace
    uint8_t camera = 0;
    uint8_t format = 0; // picture format (kind 1)
    uint8_t pictureFlags = 0;
    uint8_t detector = 0;  // tuning trace (kind 2)
    bool keyFrame = false; // H.264 unit flag
    uint32_t payloadLength = 0;
};

class DeviceSimulator {
public:
    explicit DeviceSimulator(Options options);
    ~DeviceSimulator(); // stops

    DeviceSimulator(const DeviceSimulator&) = delete;
    DeviceSimulator& operator=(const DeviceSimulator&) = delete;

    // Prepares the root folder and host key, binds the ports and starts the
    // servers. Throws std::runtime_error with a clear text on failure
    // (nothing keeps running then).
    void Start();
    // Stops every server and closes every connection; returns within about
    // a second. Safe to call twice.
    void Stop();
    bool Running() const;

    // Bound ports (valid after Start, also when 0 was asked for).
    uint16_t SshPort() const;
    uint16_t LivePort() const;

    const Options& Settings() const;
    // Host path of a device path ("/tavo/pass" -> "<root>/tavo/pass");
    // empty when the path lies outside the device's folders.
    std::string HostPath(const std::string& devicePath) const;

    // Logs, oldest first. The two live logs keep the latest 20000 entries
    // (older halves are dropped), so a long demo run stays small.
    std::vector<CommandRecord> Commands() const;
    std::vector<TransferRecord> Transfers() const;
    std::vector<LiveReplyRecord> LiveReplies() const;
    std::vector<LiveMessageRecord> LiveMessages() const;
    unsigned AuthFailures() const;
    unsigned AnnouncementsSent() const;
    unsigned LiveConnections() const; // accepted live connections so far
    void ClearLogs();

    // Polls `condition` every 10 ms until it holds or `timeout_ms` passed.
    bool WaitUntil(const std::function<bool()>& condition, unsigned timeout_ms) const;

    // Current state the device's commands may have changed.
    std::string Password() const;
    int64_t ClockOffset() const;
    void SetClockOffset(int64_t seconds);
    void SetFaults(const FaultOptions& faults);
    FaultOptions Faults() const;

    // Moves camera `camera`'s picture by (dx, dy) scene pixels from the
    // next picture on; (0, 0) puts it back. Cameras 0..7, others ignored.
    void SetCameraShift(unsigned camera, int dx, int dy);
    std::pair<int, int> CameraShift(unsigned camera) const;
    // True when the simulator draws scenes (see Options::scenesProject).
    bool ShowsScenes() const;

    // The device's restart: announcements, live stream and SSH go away for
    // `restartSeconds`, then come back. Also what "sync && /tavo/restart"
    // does (after the command has answered).
    void Restart();
    bool Restarting() const;
    unsigned RestartCount() const;

    struct State;

private:
    // Builds the scenes and their recordings when the options ask for them,
    // and applies the starting camera shifts.
    void PrepareScenes();

    std::unique_ptr<State> state;
};

// The test picture: value of pixel (x, y) of a `width` x `height` camera
// picture in message `frameNumber`. Four quadrants of grey 48, 96, 160 and
// 208 (top-left, top-right, bottom-left, bottom-right) and a 16 x 16 marker
// of 235 in rows 8-23 that moves 8 pixels to the right per frame. H.264
// frames are 352 x 288 with this 320 x 240 picture in their centre
// (columns 16-335, rows 24-263) and black (luma 16) around it.
uint8_t PatternGrey(uint32_t x, uint32_t y, uint32_t width, uint32_t height, uint32_t frameNumber);
// 16-bit colour picture: red, green, blue, white quadrants with a black
// marker in the same place.
uint16_t PatternColour(uint32_t x, uint32_t y, uint32_t frameNumber);
// Left edge of the black region of a Blank picture in message frameNumber.
uint16_t BlankRegionX(uint32_t frameNumber);
// The 250 values of a tuning trace: first 1000 + 10 * camera + detector,
// then counts i = 1..249 shaped as a bell (height 120, width 22) centred on
// bin 70 + 25 * (camera % 4) + 6 * (detector % 8).
std::vector<uint16_t> TuningTraceValues(uint8_t camera, uint8_t detector);

} // namespace korvex::devsim
