#include "rawaudio.h"

#include "messages.h"

#include <cstring>
#include <limits>

namespace rm {

namespace {

// Version 3: signature, version, header size (from byte 8), 10 bytes of
// settings (bytes per minute among them), data size, then texts and codec.
constexpr size_t kFixedPart = 22;
constexpr size_t kSettingsAt = 8, kSettingsSize = 10, kDataSizeAt = 18;

struct OldHeader {
    std::vector<uint8_t> bytes; // the whole header, up to the first data byte
    uint64_t dataSize = 0;
};

OldHeader readOldHeader(Input &in, const std::string &name)
{
    uint8_t fixed[kFixedPart];
    in.seek(0);
    if (in.read(fixed, sizeof fixed) != sizeof fixed || !isRealAudioMagic(fixed, sizeof fixed))
        throw Error(say(Msg::NotOldRealAudio, {name}));
    const uint16_t version = be16(fixed + 4);
    if (version != 3)
        throw Error(say(Msg::RealAudioVersion, {name, std::to_string(version)}));
    const uint64_t headerEnd = 8 + uint64_t(be16(fixed + 6));
    if (headerEnd < kFixedPart || headerEnd > in.size())
        throw Error(say(Msg::HeaderPastEnd, {name}));
    OldHeader h;
    h.bytes.resize(size_t(headerEnd));
    in.seek(0);
    if (in.read(h.bytes.data(), h.bytes.size()) != h.bytes.size())
        throw Error(say(Msg::HeaderPastEnd, {name}));
    h.dataSize = be32(fixed + kDataSizeAt);
    if (headerEnd + h.dataSize > in.size())
        throw Error(say(Msg::DataBytesShort, {name, std::to_string(in.size() - headerEnd), std::to_string(h.dataSize)}));
    return h;
}

// The codec's name at the end of the header (length-prefixed), or empty.
std::string codecOf(const OldHeader &h)
{
    const std::vector<uint8_t> &b = h.bytes;
    for (size_t n = 4; n > 0; --n)
        if (b.size() >= n + 1 && b[b.size() - n - 1] == n)
            return std::string(b.end() - long(n), b.end());
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
    OldHeader first;
    uint64_t data = 0, total = 0;
    for (size_t k = 0; k < sources.size(); ++k) {
        std::unique_ptr<Input> in = sources[k].open(false);
        const OldHeader h = readOldHeader(*in, sources[k].name);
        total += in->size();
        data += h.dataSize;
        if (k == 0) {
            first = h;
            continue;
        }
        if (codecOf(h) != codecOf(first) || std::memcmp(&h.bytes[kSettingsAt], &first.bytes[kSettingsAt], kSettingsSize))
            throw Error(say(Msg::AudioSettingsDiffer,
                            {sources[k].name, sources[0].name,
                             codecOf(h) != codecOf(first) ? say(Msg::InsteadOf, {codecOf(h), codecOf(first)})
                                                          : say(Msg::OtherRateOrFrame)}));
    }
    if (data > std::numeric_limits<uint32_t>::max())
        throw Error(say(Msg::TooLarge4G));

    std::vector<uint8_t> header = first.bytes;
    put32(&header[kDataSizeAt], uint32_t(data));
    out.write(header.data(), header.size());
    uint64_t done = 0;
    std::vector<uint8_t> chunk(kBufferSize);
    for (const Source &source : sources) {
        std::unique_ptr<Input> in = source.open(true);
        const OldHeader h = readOldHeader(*in, source.name);
        in->seek(h.bytes.size());
        for (uint64_t left = h.dataSize; left > 0;) {
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
