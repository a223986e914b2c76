// What a clip is, from its header alone: its streams' codecs, picture size,
// sample rate and channels, its length and bit rate. Shared by the joiner's
// reader and the window, which shows it before a join.
#pragma once

#include "rmfile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace rm {

struct StreamSummary {
    std::string mime;
    std::string codec;          // four characters (RV30, cook, lpcJ…), or empty
    uint16_t width = 0, height = 0;
    uint32_t sampleRate = 0;
    uint16_t channels = 0;
    uint32_t avgBitRate = 0;
    // RealAudio's framing: interleaver name, coded frame, interleaving height,
    // frame and sub-packet sizes in bytes.
    std::string interleaver;
    uint32_t codedFrameSize = 0;
    uint16_t subPacketH = 0, frameSize = 0, subPacketSize = 0;
    StreamKind kind = StreamKind::Unknown;
    bool video() const { return kind == StreamKind::Video; }
    bool audio() const { return kind == StreamKind::Audio; }
};

struct ClipSummary {
    uint32_t durationMs = 0;    // the longest the header states; 0: not stated
    uint32_t avgBitRate = 0;
    std::vector<StreamSummary> streams;
};

StreamSummary summarizeStream(const Stream &stream);

// Why an audio stream's settings cannot describe its packets (a frame-based
// codec without frame sizes, as a careless remux writes), in the user's
// language; empty when they can.
std::string audioFramingProblem(const StreamSummary &audio);
ClipSummary summarize(const Header &header);

} // namespace rm
