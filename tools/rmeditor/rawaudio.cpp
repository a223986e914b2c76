#include "rawaudio.h"

#include "messages.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace rm {

namespace {

// Version 3: signature, version, header size (from byte 8), 10 bytes of
// settings (bytes per minute among them), data size, then texts and codec.
constexpr size_t kFixedPart = 22;
constexpr size_t kSettingsAt = 8, kSettingsSize = 10, kDataSizeAt = 18;

// Version 4 (RealAudio 2.0 to 5.0): ".ra4", a data size, the version again,
// the header's size counted from byte 16, the codec's settings (flavor,
// frame sizes, interleaving height, rate, sample size, channels), then the
// interleaver's and the codec's names and the texts. The data runs to the
// end of the file, in the codec's blocks.
constexpr size_t kFixed4 = 69;
constexpr size_t kData4At = 12, kVersion2At = 16, kHeaderSize4At = 18, kSettings4At = 22, kSettings4End = 66;
constexpr size_t kCodedFrameAt = 24, kHeightAt = 40, kFrameAt = 42, kRateAt = 48, kChannelsAt = 54;
constexpr size_t kInterleaverAt = 57, kCodec4At = 62;

struct OldHeader {
    std::vector<uint8_t> bytes; // the whole header, up to the first data byte
    uint16_t version = 3;
    uint64_t dataSize = 0;      // the data bytes that follow it
};

std::string text4(const OldHeader &h, size_t at)
{
    return std::string(h.bytes.begin() + long(at), h.bytes.begin() + long(at + 4));
}

// The unit a version 4 file's data is made of: a superblock of an
// interleaving codec, a 14.4 frame, or (AC-3 and the like, which find their
// own frames) a byte.
uint64_t blockOf(const OldHeader &h)
{
    const std::string interleaver = text4(h, kInterleaverAt), codec = text4(h, kCodec4At);
    if (interleaver == "Int4" || interleaver == "genr" || interleaver == "sipr")
        return uint64_t(std::max<uint16_t>(1, be16(&h.bytes[kHeightAt]))) * be16(&h.bytes[kFrameAt]);
    if (codec == "lpcJ" || codec == "14_4")
        return be32(&h.bytes[kCodedFrameAt]) ? be32(&h.bytes[kCodedFrameAt]) : 20;
    return 1;
}

OldHeader readHeaderBytes(Input &in, const std::string &name, uint64_t headerEnd, uint16_t version)
{
    if (headerEnd > in.size())
        throw Error(say(Msg::HeaderPastEnd, {name}));
    OldHeader h;
    h.version = version;
    h.bytes.resize(size_t(headerEnd));
    in.seek(0);
    if (in.read(h.bytes.data(), h.bytes.size()) != h.bytes.size())
        throw Error(say(Msg::HeaderPastEnd, {name}));
    return h;
}

OldHeader readOldHeader(Input &in, const std::string &name)
{
    uint8_t fixed[kFixed4];
    in.seek(0);
    const size_t got = in.read(fixed, sizeof fixed);
    if (got < kFixedPart || !isRealAudioMagic(fixed, got))
        throw Error(say(Msg::NotOldRealAudio, {name}));
    const uint16_t version = be16(fixed + 4);
    if (version == 4) {
        if (got < kFixed4 || std::memcmp(fixed + 8, ".ra4", 4) != 0 || be16(fixed + kVersion2At) != 4)
            throw Error(say(Msg::HeaderPastEnd, {name}));
        const uint64_t headerEnd = 16 + uint64_t(be32(fixed + kHeaderSize4At));
        if (headerEnd < kFixed4)
            throw Error(say(Msg::HeaderPastEnd, {name}));
        OldHeader h = readHeaderBytes(in, name, headerEnd, version);
        if (blockOf(h) == 0)
            throw Error(say(Msg::AudioUnreadable, {name, say(Msg::NoFrameSize)}));
        h.dataSize = in.size() - headerEnd;
        return h;
    }
    if (version != 3)
        throw Error(say(Msg::RealAudioVersion, {name, std::to_string(version)}));
    const uint64_t headerEnd = 8 + uint64_t(be16(fixed + 6));
    if (headerEnd < kFixedPart)
        throw Error(say(Msg::HeaderPastEnd, {name}));
    OldHeader h = readHeaderBytes(in, name, headerEnd, version);
    h.dataSize = be32(fixed + kDataSizeAt);
    if (headerEnd + h.dataSize > in.size())
        throw Error(say(Msg::DataBytesShort, {name, std::to_string(in.size() - headerEnd), std::to_string(h.dataSize)}));
    return h;
}

// The codec's name at the end of the header (length-prefixed), or empty.
std::string codecOf(const OldHeader &h)
{
    if (h.version == 4)
        return text4(h, kCodec4At);
    const std::vector<uint8_t> &b = h.bytes;
    for (size_t n = 4; n > 0; --n)
        if (b.size() >= n + 1 && b[b.size() - n - 1] == n)
            return std::string(b.end() - long(n), b.end());
    return {};
}

// Why `h` cannot follow `first`, naming what differs; empty when it can.
std::string settingsDifference(const OldHeader &first, const OldHeader &h)
{
    if (h.version != first.version)
        return say(Msg::InsteadOf, {"RealAudio " + std::to_string(h.version), "RealAudio " + std::to_string(first.version)});
    if (codecOf(h) != codecOf(first))
        return say(Msg::InsteadOf, {codecOf(h), codecOf(first)});
    if (h.version == 3)
        return std::memcmp(&h.bytes[kSettingsAt], &first.bytes[kSettingsAt], kSettingsSize) ? say(Msg::OtherRateOrFrame)
                                                                                            : std::string();
    const auto number = [](const OldHeader &x, size_t at) { return std::to_string(be16(&x.bytes[at])); };
    if (number(h, kRateAt) != number(first, kRateAt))
        return say(Msg::RateInsteadOf, {number(h, kRateAt), number(first, kRateAt)});
    if (number(h, kChannelsAt) != number(first, kChannelsAt))
        return say(Msg::ChannelsInsteadOf, {number(h, kChannelsAt), number(first, kChannelsAt),
                                            be16(&h.bytes[kChannelsAt]) == 1 ? "" : "s"});
    if (std::memcmp(&h.bytes[kSettings4At], &first.bytes[kSettings4At], kSettings4End - kSettings4At))
        return say(Msg::OtherCodecSettings);
    return {};
}

} // namespace

std::string oldRealAudioRefusal(Input &in, const std::string &name)
{
    try {
        readOldHeader(in, name);
    } catch (const Error &error) {
        return error.what();
    }
    return {};
}

bool isOldRealAudio(Input &in)
{
    uint8_t head[4];
    in.seek(0);
    return in.read(head, sizeof head) == sizeof head && isRealAudioMagic(head, sizeof head);
}

void joinOldRealAudio(const std::vector<Source> &sources, Output &out, const Progress &progress)
{
    // What each clip gives: a version 4 clip followed by another, its whole
    // blocks only (a cut-off block would shift every one after it).
    std::vector<uint64_t> taken;
    OldHeader first;
    uint64_t data = 0, total = 0;
    for (size_t k = 0; k < sources.size(); ++k) {
        std::unique_ptr<Input> in = sources[k].open(false);
        const OldHeader h = readOldHeader(*in, sources[k].name);
        total += in->size();
        if (k == 0)
            first = h;
        else if (const std::string why = settingsDifference(first, h); !why.empty())
            throw Error(say(Msg::AudioSettingsDiffer, {sources[k].name, sources[0].name, why}));
        const bool last = k + 1 == sources.size();
        taken.push_back(h.version == 4 && !last ? h.dataSize - h.dataSize % blockOf(h) : h.dataSize);
        data += taken.back();
    }
    if (data > std::numeric_limits<uint32_t>::max())
        throw Error(say(Msg::TooLarge4G));

    std::vector<uint8_t> header = first.bytes;
    if (first.version == 3) {
        put32(&header[kDataSizeAt], uint32_t(data));
    } else {
        // Its producer's count, whatever it counts, grown by the clips after it.
        const int64_t stated = int64_t(be32(&header[kData4At])) + int64_t(data) - int64_t(first.dataSize);
        if (stated >= 0 && stated <= int64_t(std::numeric_limits<uint32_t>::max()))
            put32(&header[kData4At], uint32_t(stated));
    }
    out.write(header.data(), header.size());
    uint64_t done = 0;
    std::vector<uint8_t> chunk(kBufferSize);
    for (size_t k = 0; k < sources.size(); ++k) {
        const Source &source = sources[k];
        std::unique_ptr<Input> in = source.open(true);
        const OldHeader h = readOldHeader(*in, source.name);
        in->seek(h.bytes.size());
        for (uint64_t left = taken[k]; left > 0;) {
            const size_t want = size_t(std::min<uint64_t>(left, chunk.size()));
            if (in->read(chunk.data(), want) != want)
                throw Error(say(Msg::DataEndsEarly, {source.name}));
            out.write(chunk.data(), want);
            left -= want;
            if (progress)
                progress(done + in->tell(), total);
        }
        done += in->size();
    }
}

} // namespace rm
