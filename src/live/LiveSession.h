#pragma once

#include "live/H264Decoder.h"
#include "live/LiveInterfaces.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvex {

// The byte stream of one live connection.
class LiveChannel {
public:
    virtual ~LiveChannel() = default;
    // Reads exactly `n` bytes; false when the peer closed, an error occurred,
    // no byte came within the time-out or the reader was stopped.
    virtual bool ReadExact(uint8_t* buffer, size_t n) = 0;
    // Sends the bytes in one call; false on error.
    virtual bool Send(const uint8_t* data, size_t n) = 0;
};

// Payload buffers, allocated once per thread and reused by every message.
struct LiveBuffers {
    LiveBuffers();
    std::vector<uint8_t> header;  // 64 bytes
    std::vector<uint8_t> payload; // largest picture payload (16-bit colour)
    std::vector<uint8_t> unit;    // largest H.264 unit
    std::vector<uint8_t> scratch; // 256 bytes for skipped data
};

// Largest blank picture turned into a bitmap. Blank messages carry no
// payload, so their size is whatever the header says; bigger ones are
// consumed and answered but dropped rather than allocated.
constexpr uint32_t kMaxBlankWidth = 640;
constexpr uint32_t kMaxBlankHeight = 480;

// No device sends a header longer than this or skips more payload than
// this in one message; a message that asks for more is taken as a broken
// stream and ends the connection rather than keep the reader busy for
// gigabytes.
constexpr uint32_t kMaxHeaderLength = 64 * 1024;
constexpr uint32_t kMaxSkippedPayload = 16 * 1024 * 1024;

// Reads and answers the messages of one connection. The decoders of its
// cameras live as long as the session.
class LiveSession {
public:
    LiveSession(LiveChannel& channel, LiveBuffers& buffers, LiveSink& sink, const LiveViewOptions& view,
                const OptionMaskSource& mask, TuningSource& tuning);
    ~LiveSession();

    // Reads one message, hands on what it carries and sends the reply.
    // False when the connection must end.
    bool ProcessMessage();

    // Messages answered.
    uint64_t MessagesAnswered() const { return answered; }
    // Why ProcessMessage ended the connection on a message that broke the
    // protocol; "" when it did not (the channel then says why).
    const std::string& Malformed() const { return malformed; }
    bool HasDecoder(unsigned camera) const { return decoders.HasDecoder(camera); }

private:
    bool Skip(uint64_t n);
    // Notes why the message breaks the protocol; false.
    bool Refuse(std::string why);
    // Reads the rest of the picture header (kinds 1 and 2) and skips what
    // lies beyond its 64 bytes; false when the message must end the
    // connection.
    bool ReadPictureHeader();
    bool HandlePicture();
    bool HandleTrace();
    bool Reply();
    Bitmap NewPicture();
    void Finish(Bitmap& picture);

    std::string malformed;
    LiveChannel& channel;
    LiveBuffers& buffers;
    LiveSink& sink;
    const LiveViewOptions& view;
    const OptionMaskSource& mask;
    TuningSource& tuning;

    PictureHeader header;
    DecoderSlots decoders;
    uint64_t answered = 0;
};

} // namespace korvex
