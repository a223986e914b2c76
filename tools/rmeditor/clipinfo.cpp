#include "clipinfo.h"

#include "messages.h"

#include <algorithm>

namespace rm {

namespace {

std::string fourcc(const std::vector<uint8_t> &t, size_t at)
{
    if (at + 4 > t.size())
        return {};
    std::string text(t.begin() + long(at), t.begin() + long(at + 4));
    for (char c : text)
        if (c < 32 || c > 126)
            return {};
    return text;
}

// RealAudio's own header as a stream's type data, versions 4 and 5.
void readAudio(const std::vector<uint8_t> &t, StreamSummary &s)
{
    if (!isRealAudioMagic(t.data(), t.size()) || t.size() < 6)
        return;
    const uint16_t version = be16(&t[4]);
    if ((version == 4 || version == 5) && t.size() >= 46) {
        s.codedFrameSize = be32(&t[24]);
        s.subPacketH = be16(&t[40]);
        s.frameSize = be16(&t[42]);
        s.subPacketSize = be16(&t[44]);
    }
    if (version == 4 && t.size() >= 56) {
        s.sampleRate = be16(&t[48]);
        s.channels = be16(&t[54]);
        const size_t interleaver = 56;
        if (t.size() == interleaver)
            return; // the settings end the header: no names follow
        const size_t codec = interleaver + 1 + t[interleaver];
        if (codec < t.size() && t[codec] == 4)
            s.codec = fourcc(t, codec + 1);
        if (t[interleaver] == 4)
            s.interleaver = fourcc(t, interleaver + 1);
    } else if (version == 5 && t.size() >= 70) {
        s.sampleRate = be16(&t[54]);
        s.channels = be16(&t[60]);
        s.interleaver = fourcc(t, 62);
        s.codec = fourcc(t, 66);
    }
}

} // namespace

StreamSummary summarizeStream(const Stream &stream)
{
    StreamSummary s;
    s.mime = stream.mime;
    s.kind = streamKind(stream.mime);
    s.avgBitRate = stream.avgBitRate;
    const std::vector<uint8_t> &t = stream.typeSpecific;
    if (s.video() && t.size() >= 16 && fourcc(t, 4) == "VIDO") {
        s.codec = fourcc(t, 8);
        s.width = be16(&t[12]);
        s.height = be16(&t[14]);
    } else if (s.audio()) {
        readAudio(t, s);
    }
    return s;
}

std::string audioFramingProblem(const StreamSummary &audio)
{
    // Codecs decoded in frames that their packets carry interleaved.
    const std::string &c = audio.codec;
    if (c != "cook" && c != "atrc" && c != "sipr" && c != "28_8")
        return {};
    if (audio.codedFrameSize == 0 || audio.frameSize == 0 || audio.subPacketH == 0)
        return say(Msg::NoFrameSize);
    if ((c == "cook" || c == "atrc") && (audio.subPacketSize == 0 || audio.subPacketSize > audio.frameSize))
        return say(Msg::SubPacketSize, {std::to_string(audio.subPacketSize), std::to_string(audio.frameSize)});
    return {};
}

ClipSummary summarize(const Header &header)
{
    ClipSummary c;
    c.durationMs = header.properties.duration;
    c.avgBitRate = header.properties.avgBitRate;
    for (const Stream &stream : header.streams) {
        const StreamKind kind = streamKind(stream.mime);
        if (kind == StreamKind::Logical || kind == StreamKind::FileInfo)
            continue; // groups and file properties, nothing to play
        c.streams.push_back(summarizeStream(stream));
        c.durationMs = std::max(c.durationMs, stream.duration);
    }
    return c;
}

} // namespace rm
