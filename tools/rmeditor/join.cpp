#include "join.h"

#include "messages.h"
#include "rawaudio.h"
#include "rvpayload.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace rm {

namespace {

constexpr size_t kIndexHeader = 20;         // chunk header, entry count, stream, next INDX
constexpr size_t kIndexEntry = 14;          // version, timestamp, offset, packet number
constexpr uint32_t kSparseIndexSpacing = 2000; // ms between index entries of streams other than video
constexpr uint64_t kRateWindow = 2000;      // ms over which the maximum bit rate is measured
constexpr uint32_t kEventUnit = 100;        // ms per unit of the times inside an event packet

const std::string kRealVideo = "video/x-pn-realvideo";
const std::string kRealEvent = "application/x-pn-realevent";
const std::string kFileInfo = "logical-fileinfo";

bool startsWith(const std::string &text, const char *prefix)
{
    return text.rfind(prefix, 0) == 0;
}

uint32_t narrow(uint64_t value, const char *what)
{
    if (value > std::numeric_limits<uint32_t>::max())
        throw Error(say(Msg::TooLarge32, {what}));
    return uint32_t(value);
}

uint32_t rate(uint64_t bytes, uint64_t durationMs)
{
    if (durationMs == 0)
        return 0;
    return uint32_t(std::min<uint64_t>(bytes * 8000 / durationMs, std::numeric_limits<uint32_t>::max()));
}

// The type data of a logical stream: size, version, then (version 0) the
// physical streams it groups with their DATA offsets, a rule map and
// properties such as the creation date.
struct LogicalLayout {
    bool ok = false;
    size_t offsetsAt = 0;   // the physical streams' DATA offsets
    uint16_t physical = 0;
    std::vector<uint8_t> structure; // what decoding depends on: streams and rules
};

LogicalLayout logicalLayout(const std::vector<uint8_t> &d)
{
    LogicalLayout l;
    if (d.size() < 8 || be16(&d[4]) != 0)
        return l;
    l.physical = be16(&d[6]);
    const size_t numbersAt = 8;
    l.offsetsAt = numbersAt + 2 * size_t(l.physical);
    const size_t rulesAt = l.offsetsAt + 4 * size_t(l.physical);
    if (rulesAt + 2 > d.size())
        return l;
    const size_t end = rulesAt + 2 + 2 * size_t(be16(&d[rulesAt]));
    if (end > d.size())
        return l;
    l.structure.assign(d.begin() + 6, d.begin() + long(l.offsetsAt));
    l.structure.insert(l.structure.end(), d.begin() + long(rulesAt), d.begin() + long(end));
    l.ok = true;
    return l;
}

std::string videoCodec(const Stream &s)
{
    const std::vector<uint8_t> &t = s.typeSpecific;
    if (s.mime != kRealVideo || t.size() < 12 || std::string(t.begin() + 4, t.begin() + 8) != "VIDO")
        return {};
    return std::string(t.begin() + 8, t.begin() + 12);
}

std::string differenceOf(const Stream &a, const Stream &b)
{
    if (a.number != b.number)
        return say(Msg::Numbered, {std::to_string(b.number), std::to_string(a.number)});
    if (a.mime != b.mime)
        return say(Msg::OfType, {b.mime, a.mime});
    if (a.mime == kFileInfo)
        return {}; // creation date, producer name and such belong to each file
    if (startsWith(a.mime, "logical-")) {
        const LogicalLayout la = logicalLayout(a.typeSpecific), lb = logicalLayout(b.typeSpecific);
        if (la.ok && lb.ok)
            return la.structure == lb.structure ? std::string() : say(Msg::GroupsOthers);
    }
    if (a.typeSpecific == b.typeSpecific)
        return {};
    const std::string ca = videoCodec(a), cb = videoCodec(b);
    if (ca != cb)
        return say(Msg::InsteadOf, {cb, ca});
    return say(Msg::OtherCodecSettings);
}

} // namespace

std::string streamDifference(const Header &first, const Header &other)
{
    if (first.streams.size() != other.streams.size())
        return say(Msg::StreamCount, {std::to_string(other.streams.size()), std::to_string(first.streams.size())});
    for (size_t i = 0; i < first.streams.size(); ++i) {
        const std::string why = differenceOf(first.streams[i], other.streams[i]);
        if (!why.empty())
            return say(Msg::StreamIs, {std::to_string(first.streams[i].number), first.streams[i].mime, why});
    }
    return {};
}

namespace {

struct IndexEntry {
    uint32_t timestamp, offset, packetNumber;
};

// The most bytes any window of kRateWindow ms holds, windows counted by time.
struct PeakRate {
    uint64_t window = std::numeric_limits<uint64_t>::max(), bytes = 0, peak = 0;
    void add(uint64_t timestamp, size_t length)
    {
        if (timestamp / kRateWindow != window) {
            window = timestamp / kRateWindow;
            bytes = 0;
        }
        bytes += length;
        peak = std::max(peak, bytes);
    }
    uint32_t bitRate() const { return rate(peak, kRateWindow); }
};

// A RealAudio stream's header (".ra\xfd", versions 4 and 5) states the
// bytes its codec makes a minute; 0 where it does not.
uint32_t bytesPerMinute(const Stream &s)
{
    const std::vector<uint8_t> &t = s.typeSpecific;
    if (t.size() < 36 || std::memcmp(t.data(), ".ra\xfd", 4) != 0 || (be16(&t[4]) != 4 && be16(&t[4]) != 5))
        return 0;
    return be32(&t[32]);
}

// What the join learns of one stream. Sizes and rates count the packets'
// payload, as producers state them.
struct StreamOut {
    bool video = false, event = false, timed = false; // timed: audio or video, packets have durations
    uint32_t bytesPerMinute = 0; // of a constant-rate audio codec, or 0
    uint64_t packets = 0, bytes = 0;
    uint32_t maxPacket = 0;
    PeakRate peak;
    uint64_t end = 0;          // output time just past its content
    std::vector<IndexEntry> index;
    uint64_t lastIndexed = 0;
    bool indexedInClip = false;

    // In the current clip, in its own times: the latest time and the latest
    // one before it, which tells how long the last frame or block lasts.
    bool seen = false, havePrevious = false;
    uint64_t latest = 0, previous = 0, eventEnd = 0, clipBytes = 0;

    void startClip()
    {
        seen = havePrevious = indexedInClip = false;
        latest = previous = eventEnd = clipBytes = 0;
    }
    void sawTime(uint64_t t)
    {
        if (!seen) {
            latest = t;
            seen = true;
        } else if (t > latest) {
            previous = latest;
            latest = t;
            havePrevious = true;
        } else if (t < latest && (!havePrevious || t > previous)) {
            previous = t;
            havePrevious = true;
        }
    }
    // Where the stream's content ends in this clip's own times.
    uint64_t clipEnd() const
    {
        if (!seen)
            return 0;
        uint64_t e = latest;
        if (timed && !havePrevious && bytesPerMinute)
            e += clipBytes * 60000 / bytesPerMinute; // times that never move on: its data tells its length
        else if (timed && havePrevious)
            e += latest - previous;
        return std::max(e, eventEnd);
    }
    uint32_t avgBitRate() const { return rate(bytes, end); }
    // A constant-rate codec's peak is its average, whatever bursts its packing makes.
    uint32_t maxBitRate() const { return bytesPerMinute ? avgBitRate() : std::max(avgBitRate(), peak.bitRate()); }
    void count(uint64_t timestamp, size_t payload)
    {
        ++packets;
        bytes += payload;
        clipBytes += payload;
        maxPacket = std::max<uint32_t>(maxPacket, uint32_t(payload));
        peak.add(timestamp, payload);
    }
};

// The times inside an event packet: a sequence number, then its start and
// end in tenths of a second.
bool eventTimes(const uint8_t *payload, size_t size, uint32_t timestamp, uint32_t &start, uint32_t &end)
{
    if (size < 10)
        return false;
    start = be32(payload + 2);
    end = be32(payload + 6);
    const uint64_t at = uint64_t(start) * kEventUnit;
    return at + kEventUnit > timestamp && at < uint64_t(timestamp) + kEventUnit;
}

// The header section: .RMF, PROP, CONT, one MDPR per stream, and the DATA
// chunk's own header. Its size does not depend on the numbers in it.
std::vector<uint8_t> buildHeader(const Header &first, const Properties &p, const std::vector<StreamOut> &streams,
                                 uint32_t dataSize, uint32_t indexChunks)
{
    Builder b;
    const uint32_t headers = 1 + (first.content.empty() ? 0 : 1) + uint32_t(first.streams.size()) + 1 + indexChunks;
    size_t at = b.chunkStart(kRMF);
    b.u32(first.fileVersion);
    b.u32(headers);
    b.chunkEnd(at);

    at = b.chunkStart(kPROP);
    b.u32(p.maxBitRate);
    b.u32(p.avgBitRate);
    b.u32(p.maxPacketSize);
    b.u32(p.avgPacketSize);
    b.u32(p.numPackets);
    b.u32(p.duration);
    b.u32(p.preroll);
    b.u32(p.indexOffset);
    b.u32(p.dataOffset);
    b.u16(p.numStreams);
    b.u16(p.flags);
    b.chunkEnd(at);

    b.raw(first.content);

    for (size_t i = 0; i < first.streams.size(); ++i) {
        const Stream &s = first.streams[i];
        const StreamOut &o = streams[i];
        at = b.chunkStart(kMDPR);
        b.u16(s.number);
        if (o.packets) {
            b.u32(o.maxBitRate());
            b.u32(o.avgBitRate());
            b.u32(o.maxPacket);
            b.u32(uint32_t(o.bytes / o.packets));
        } else {
            for (uint32_t v : {s.maxBitRate, s.avgBitRate, s.maxPacketSize, s.avgPacketSize})
                b.u32(v);
        }
        b.u32(s.startTime);
        b.u32(s.preroll);
        b.u32(o.packets ? narrow(o.end, "a duration") : s.duration);
        b.u8(uint8_t(s.name.size()));
        b.raw(s.name);
        b.u8(uint8_t(s.mime.size()));
        b.raw(s.mime);
        std::vector<uint8_t> type = s.typeSpecific;
        if (startsWith(s.mime, "logical-")) {
            // Its physical streams all lie in our one DATA chunk now.
            const LogicalLayout l = logicalLayout(type);
            for (uint16_t k = 0; l.ok && k < l.physical; ++k)
                put32(&type[l.offsetsAt + 4 * k], p.dataOffset);
        }
        b.u32(uint32_t(type.size()));
        b.raw(type);
        b.chunkEnd(at);
    }

    b.u32(kDATA);
    b.u32(dataSize);
    b.u16(0);
    b.u32(p.numPackets);
    b.u32(0); // no further DATA chunk
    return b.bytes;
}

} // namespace

void join(const std::vector<Source> &sources, Output &out, const Progress &progress)
{
    if (sources.empty())
        throw Error(say(Msg::NoInput));
    if (isOldRealAudio(*sources.front().open(false)))
        return joinOldRealAudio(sources, out, progress);

    // Every header first, so that a clip that does not fit is refused
    // before anything is written; one source open at a time.
    Header first;
    uint64_t total = 0, dataBytes = 0;
    for (size_t k = 0; k < sources.size(); ++k) {
        std::unique_ptr<Input> in = sources[k].open(false);
        Header h = readHeader(*in, sources[k].name);
        total += in->size();
        dataBytes += in->size() - std::min<uint64_t>(in->size(), h.firstDataChunk);
        if (k == 0) {
            first = std::move(h);
            continue;
        }
        const std::string why = streamDifference(first, h);
        if (!why.empty())
            throw Error(say(Msg::StreamsDiffer, {sources[k].name, sources[0].name, why}));
    }
    if (dataBytes > std::numeric_limits<uint32_t>::max())
        throw Error(say(Msg::TooLarge4G));

    const size_t n = first.streams.size();
    std::vector<StreamOut> streams(n);
    for (size_t i = 0; i < n; ++i) {
        const std::string &mime = first.streams[i].mime;
        streams[i].video = mime == kRealVideo;
        streams[i].event = mime == kRealEvent;
        streams[i].timed = startsWith(mime, "audio/") || startsWith(mime, "video/");
        streams[i].bytesPerMinute = bytesPerMinute(first.streams[i]);
    }
    auto streamIndex = [&](uint16_t number) {
        for (size_t i = 0; i < n; ++i)
            if (first.streams[i].number == number)
                return i;
        return size_t(0); // the reader has already refused undeclared streams
    };

    // A header of the final size now; the real numbers are written at the end.
    Properties props;
    props.numStreams = uint16_t(n);
    std::vector<uint8_t> headerBytes = buildHeader(first, props, streams, 0, 0);
    out.write(headerBytes.data(), headerBytes.size());
    const uint64_t dataStart = headerBytes.size() - kDataHeader;
    props.dataOffset = narrow(dataStart, "the data offset");

    uint64_t shift = 0; // ms: where the clips before this one end
    uint64_t packets = 0, bytes = 0, done = 0;
    uint32_t maxPacket = 0;
    std::vector<rv::Piece> pieces;
    std::vector<uint8_t> grown;
    for (size_t k = 0; k < sources.size(); ++k) {
        const std::string &name = sources[k].name;
        std::unique_ptr<Input> owned = sources[k].open(true);
        Input &in = *owned;
        const Header h = readHeader(in, name);
        const std::string why = k ? streamDifference(first, h) : std::string();
        if (!why.empty()) // changed since its header was read
            throw Error(say(Msg::StreamsDiffer, {name, sources[0].name, why}));
        for (StreamOut &s : streams)
            s.startClip();
        const uint32_t shift32 = narrow(shift, "a timestamp");

        PacketReader reader(in, h, name);
        Packet p;
        // Packets lie one after the other in the input's buffer: their times
        // are changed there, and each run of them goes to the output in one
        // piece, before the buffer is refilled.
        uint8_t *runStart = nullptr;
        size_t runLength = 0;
        auto writeRun = [&] {
            if (runLength)
                out.write(runStart, runLength);
            runLength = 0;
            if (progress)
                progress(done + in.tell(), total);
        };
        in.setRefillHook(writeRun);
        struct HookGuard {
            Input &in;
            ~HookGuard() { in.setRefillHook(nullptr); }
        } guard{in};
        while (reader.next(p)) {
            uint8_t *packet = in.view(p.length);
            if (!packet)
                throw Error(say(Msg::PacketEndsEarly, {name}));
            const size_t s = streamIndex(p.stream);
            StreamOut &st = streams[s];
            uint8_t *payload = packet + p.headerSize();
            const size_t payloadSize = p.length - p.headerSize();
            const uint64_t timestamp = uint64_t(p.timestamp) + shift;
            const uint32_t outTime = narrow(timestamp, "a timestamp");
            size_t outLength = p.length;
            bool startsFrame = true;
            if (st.video) {
                if (!rv::parse(payload, payloadSize, pieces))
                    throw Error(say(Msg::VideoUnreadable, {name, std::to_string(p.stream), std::to_string(p.position)}));
                startsFrame = rv::startsFrame(pieces);
                bool tooLate = false;
                outLength += rv::growth(pieces, shift32, tooLate);
                if (tooLate)
                    throw Error(say(Msg::TooLong30));
                if (outLength > 0xffff)
                    throw Error(say(Msg::PacketGrows, {name}));
                bool packed = false;
                for (const rv::Piece &piece : pieces)
                    if (piece.form == rv::Form::Packed) {
                        st.sawTime(piece.offset.value);
                        packed = true;
                    }
                if (!packed)
                    st.sawTime(p.timestamp);
            } else {
                st.sawTime(p.timestamp);
                uint32_t start = 0, end = 0;
                if (st.event && eventTimes(payload, payloadSize, p.timestamp, start, end)) {
                    st.eventEnd = std::max<uint64_t>(st.eventEnd, uint64_t(end) * kEventUnit);
                    // Event times count in tenths: moved by the nearest whole tenth.
                    const uint64_t tenths = (shift + kEventUnit / 2) / kEventUnit;
                    put32(payload + 2, narrow(start + tenths, "an event time"));
                    put32(payload + 6, narrow(end + tenths, "an event time"));
                }
            }
            put32(packet + 6, outTime);

            if (p.keyframe() && startsFrame
                && (st.video || !st.indexedInClip || timestamp >= st.lastIndexed + kSparseIndexSpacing)) {
                st.index.push_back({outTime, narrow(out.tell() + runLength, "a packet offset"),
                                    narrow(packets, "the packet count")});
                st.lastIndexed = timestamp;
                st.indexedInClip = true;
            }

            if (outLength == p.length) {
                if (st.video)
                    rv::shiftInPlace(payload, pieces, shift32);
                if (runLength && runStart + runLength != packet)
                    writeRun();
                if (!runLength)
                    runStart = packet;
                runLength += p.length;
            } else {
                writeRun();
                grown.resize(outLength);
                std::copy(packet, payload, grown.begin());
                put16(grown.data() + 2, uint16_t(outLength));
                rv::shifted(payload, payloadSize, pieces, shift32, grown.data() + p.headerSize());
                out.write(grown.data(), outLength);
            }
            const size_t outPayload = outLength - p.headerSize();
            ++packets;
            bytes += outPayload;
            maxPacket = std::max<uint32_t>(maxPacket, uint32_t(outPayload));
            st.count(timestamp, outPayload);
        }
        writeRun();
        done += in.size();

        // The next clip starts where this one's content ends: its longest
        // stream, never before its own stated duration, never on its last packet.
        uint64_t end = h.properties.duration;
        for (StreamOut &st : streams) {
            if (!st.seen)
                continue;
            end = std::max({end, st.clipEnd(), st.latest + 1});
            st.end = std::max(st.end, shift + st.clipEnd());
        }
        shift += std::max<uint64_t>(end, 1);
    }
    const uint64_t dataEnd = out.tell();

    // One index chunk per stream that has packets, each pointing on to the next.
    std::vector<size_t> indexed;
    for (size_t i = 0; i < n; ++i)
        if (streams[i].packets)
            indexed.push_back(i);
    const uint64_t indexStart = dataEnd;
    uint64_t at = indexStart;
    for (size_t k = 0; k < indexed.size(); ++k) {
        const std::vector<IndexEntry> &entries = streams[indexed[k]].index;
        const uint64_t size = kIndexHeader + kIndexEntry * uint64_t(entries.size());
        const uint64_t nextAt = at + size;
        Builder b;
        b.u32(kINDX);
        b.u32(narrow(size, "an index size"));
        b.u16(0);
        b.u32(uint32_t(entries.size()));
        b.u16(first.streams[indexed[k]].number);
        b.u32(k + 1 < indexed.size() ? narrow(nextAt, "an index offset") : 0);
        for (const IndexEntry &e : entries) {
            b.u16(0);
            b.u32(e.timestamp);
            b.u32(e.offset);
            b.u32(e.packetNumber);
        }
        out.write(b.bytes.data(), b.bytes.size());
        at = nextAt;
    }
    narrow(out.tell(), "the file size");

    props.duration = narrow(shift, "the duration");
    // As producers state it: the file's peak is its streams' peaks together.
    props.avgBitRate = rate(bytes, shift);
    uint64_t peaks = 0;
    for (const StreamOut &st : streams)
        peaks += st.packets ? st.maxBitRate() : 0;
    props.maxBitRate = uint32_t(std::min<uint64_t>(std::max<uint64_t>(props.avgBitRate, peaks),
                                                   std::numeric_limits<uint32_t>::max()));
    props.maxPacketSize = maxPacket;
    props.avgPacketSize = packets ? uint32_t(bytes / packets) : 0;
    props.numPackets = narrow(packets, "the packet count");
    props.preroll = first.properties.preroll;
    props.indexOffset = indexed.empty() ? 0 : narrow(indexStart, "the index offset");
    props.flags = first.properties.flags;
    headerBytes = buildHeader(first, props, streams, narrow(dataEnd - dataStart, "the data size"),
                              uint32_t(indexed.size()));
    out.seek(0);
    out.write(headerBytes.data(), headerBytes.size());
    out.seek(at);
}

} // namespace rm
