#include "join.h"

#include "clipinfo.h"

#include "messages.h"
#include "rawaudio.h"
#include "rvpayload.h"

#include <algorithm>
#include <map>
#include <cstring>
#include <limits>

namespace rm {

namespace {

constexpr size_t kIndexHeader = 20;         // chunk header, entry count, stream, next INDX
constexpr size_t kIndexEntry = 14;          // version, timestamp, offset, packet number
constexpr uint32_t kSparseIndexSpacing = 2000; // ms between index entries of streams other than video
constexpr uint64_t kRateWindow = 2000;      // ms over which the maximum bit rate is measured
constexpr uint32_t kEventUnit = 100;        // ms per unit of the times inside an event packet


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

// The name of a stream kind, as a refusal says which is missing or extra.
std::string kindName(StreamKind kind)
{
    switch (kind) {
    case StreamKind::Video: return say(Msg::KindVideo);
    case StreamKind::Audio: return say(Msg::KindAudio);
    case StreamKind::Event: return say(Msg::KindEvent);
    default: return say(Msg::KindOther);
    }
}

// What tells two streams' codec settings apart, as a user would name it:
// the codec, the audio's rate or channels, or "other settings".
std::string settingsDifference(const Stream &a, const Stream &b)
{
    const StreamSummary sa = summarizeStream(a), sb = summarizeStream(b);
    if (sa.codec != sb.codec)
        return say(Msg::InsteadOf, {sb.codec.empty() ? sb.mime : sb.codec, sa.codec.empty() ? sa.mime : sa.codec});
    if (sa.audio() && sa.sampleRate != sb.sampleRate)
        return say(Msg::RateInsteadOf, {std::to_string(sb.sampleRate), std::to_string(sa.sampleRate)});
    if (sa.audio() && sa.channels != sb.channels)
        return say(Msg::ChannelsInsteadOf, {std::to_string(sb.channels), std::to_string(sa.channels), sb.channels == 1 ? "" : "s"});
    if (sa.video() && (sa.width != sb.width || sa.height != sb.height))
        return say(Msg::InsteadOf, {std::to_string(sb.width) + "x" + std::to_string(sb.height),
                                    std::to_string(sa.width) + "x" + std::to_string(sa.height)});
    return say(Msg::OtherCodecSettings);
}

// The kinds of stream one file has and the other lacks, as " (no video
// stream, an extra event stream)"; empty when they have the same kinds.
std::string kindDifference(const Header &first, const Header &other)
{
    std::map<StreamKind, int> balance; // > 0: the first has more of that kind
    for (const Stream &s : first.streams)
        ++balance[streamKind(s.mime)];
    for (const Stream &s : other.streams)
        --balance[streamKind(s.mime)];
    std::string kinds;
    for (const auto &[kind, more] : balance)
        if (more != 0 && kind != StreamKind::FileInfo && kind != StreamKind::Logical)
            kinds += (kinds.empty() ? "" : say(Msg::ListSeparator)) + say(more > 0 ? Msg::WithoutKind : Msg::WithExtraKind, {kindName(kind)});
    return kinds.empty() ? kinds : say(Msg::InParentheses, {kinds});
}

std::string differenceOf(const Stream &a, const Stream &b)
{
    if (a.number != b.number)
        return say(Msg::Numbered, {std::to_string(b.number), std::to_string(a.number)});
    if (a.mime != b.mime)
        return say(Msg::OfType, {b.mime, a.mime});
    if (streamKind(a.mime) == StreamKind::FileInfo)
        return {}; // creation date, producer name and such belong to each file
    if (streamKind(a.mime) == StreamKind::Logical) {
        const LogicalLayout la = logicalLayout(a.typeSpecific), lb = logicalLayout(b.typeSpecific);
        if (la.ok && lb.ok)
            return la.structure == lb.structure ? std::string() : say(Msg::GroupsOthers);
    }
    if (a.typeSpecific == b.typeSpecific)
        return {};
    return settingsDifference(a, b);
}

// The rates of the physical streams a logical stream groups, as "20, 32 kbit/s".
std::string groupRates(const Header &header, const Stream &logical)
{
    const std::vector<uint8_t> &d = logical.typeSpecific;
    const LogicalLayout l = logicalLayout(d);
    std::string rates;
    for (size_t k = 0; l.ok && k < l.physical; ++k) {
        const uint16_t number = be16(&d[8 + 2 * k]);
        for (const Stream &s : header.streams)
            if (s.number == number)
                rates += (rates.empty() ? "" : ", ") + std::to_string((uint64_t(s.avgBitRate) + 500) / 1000);
    }
    return rates + " kbit/s";
}

} // namespace

std::string streamDifference(const Header &first, const Header &other)
{
    const std::string kinds = kindDifference(first, other);
    if (first.streams.size() != other.streams.size())
        return say(Msg::StreamCount, {std::to_string(other.streams.size()), std::to_string(first.streams.size()),
                                      other.streams.size() == 1 ? "" : "s"}) + kinds;
    if (!kinds.empty())
        return say(Msg::OtherKinds) + kinds;
    // Multi-rate groups first: two files of other rate sets differ in them
    // before they differ in any one stream.
    for (const bool logical : {true, false})
        for (size_t i = 0; i < first.streams.size(); ++i) {
            const Stream &a = first.streams[i], &b = other.streams[i];
            if ((streamKind(a.mime) == StreamKind::Logical) != logical)
                continue;
            std::string why = differenceOf(a, b);
            if (logical && a.mime == b.mime)
                if (const std::string ra = groupRates(first, a), rb = groupRates(other, b); ra != rb)
                    why = say(Msg::GroupsRates, {rb, ra});
            if (!why.empty())
                return say(Msg::StreamIs, {std::to_string(a.number), a.mime, why});
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
    if (t.size() < 36 || !isRealAudioMagic(t.data(), t.size()) || (be16(&t[4]) != 4 && be16(&t[4]) != 5))
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
    // A 14.4 stream whose packets all carry one time (ffmpeg writes it so):
    // from its second packet on, each is given the time its data starts at,
    // so that readers see the stream move on. (Interleaving codecs give a
    // superblock's packets one time on purpose; they keep theirs.)
    bool blockless = false, steady = false;

    void startClip()
    {
        seen = havePrevious = indexedInClip = steady = false;
        latest = previous = eventEnd = clipBytes = 0;
    }
    // The time of a packet in its clip's own times: as stated, or where its data starts.
    uint64_t ownTime(uint32_t stated)
    {
        if (blockless && bytesPerMinute && seen && !havePrevious && stated == latest && clipBytes > 0)
            steady = true;
        return steady ? latest + clipBytes * 60000 / bytesPerMinute : stated;
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



// One join in three stages, as a container writer works: begin (every
// input's header, then the output's header with room for the final
// numbers), one clip after the other (their packets through the rules of
// their stream's type), finish (the index, then the header rewritten).
class Joiner
{
public:
    Joiner(const std::vector<Source> &sources, Output &out, const Progress &progress)
        : m_sources(sources), m_out(out), m_progress(progress) {}

    void begin();
    void addClip(size_t k);
    void finish();

private:
    // Where a run of unchanged packets waits in the input's buffer.
    struct Run {
        uint8_t *start = nullptr;
        size_t length = 0;
    };

    size_t streamIndex(uint16_t number) const;
    void takePacket(Input &in, const Packet &p, const std::string &name, Run &run);
    size_t rewriteVideo(StreamOut &st, const Packet &p, uint8_t *payload, size_t payloadSize, const std::string &name,
                        bool &startsFrame);
    void rewriteEvent(StreamOut &st, const Packet &p, uint8_t *payload, size_t payloadSize);
    void writeRun(Input &in, Run &run);
    void endClip(const Header &h);
    uint64_t writeIndex();

    const std::vector<Source> &m_sources;
    Output &m_out;
    const Progress &m_progress;

    Header m_first;
    std::vector<StreamOut> m_streams;
    Properties m_props;
    uint64_t m_total = 0;      // bytes of all inputs, for progress
    uint64_t m_done = 0;       // bytes of the inputs finished
    uint64_t m_dataStart = 0;
    uint64_t m_shift = 0;      // ms: where the clips before this one end
    uint64_t m_packets = 0, m_bytes = 0;
    uint32_t m_maxPacket = 0;
    std::vector<rv::Piece> m_pieces;
    std::vector<uint8_t> m_grown;
};

size_t Joiner::streamIndex(uint16_t number) const
{
    for (size_t i = 0; i < m_first.streams.size(); ++i)
        if (m_first.streams[i].number == number)
            return i;
    return 0; // the reader has already refused undeclared streams
}

void Joiner::begin()
{
    // Every header first, so that a clip that does not fit is refused
    // before anything is written; one source open at a time.
    uint64_t dataBytes = 0;
    for (size_t k = 0; k < m_sources.size(); ++k) {
        std::unique_ptr<Input> in = m_sources[k].open(false);
        Header h = readHeader(*in, m_sources[k].name);
        m_total += in->size();
        dataBytes += in->size() - std::min<uint64_t>(in->size(), h.firstDataChunk);
        if (k == 0) {
            m_first = std::move(h);
            continue;
        }
        const std::string why = streamDifference(m_first, h);
        if (!why.empty())
            throw Error(say(Msg::StreamsDiffer, {m_sources[k].name, m_sources[0].name, why}));
    }
    if (dataBytes > std::numeric_limits<uint32_t>::max())
        throw Error(say(Msg::TooLarge4G));

    m_streams.resize(m_first.streams.size());
    for (size_t i = 0; i < m_streams.size(); ++i) {
        const Stream &stream = m_first.streams[i];
        const StreamKind kind = streamKind(stream.mime);
        // A stream of a kind not known here might hold times inside its
        // packets that a join would leave unmoved: refused, not guessed at.
        if (kind == StreamKind::Unknown)
            throw Error(say(Msg::UnknownStreamKind, {m_sources[0].name, std::to_string(stream.number), stream.mime}));
        m_streams[i].video = kind == StreamKind::Video;
        m_streams[i].event = kind == StreamKind::Event;
        m_streams[i].timed = kind == StreamKind::Video || kind == StreamKind::Audio;
        m_streams[i].bytesPerMinute = bytesPerMinute(m_first.streams[i]);
        m_streams[i].blockless = summarizeStream(stream).codec == "lpcJ";
    }

    // A header of the final size now; the real numbers are written at the end.
    m_props.numStreams = uint16_t(m_streams.size());
    const std::vector<uint8_t> header = buildHeader(m_first, m_props, m_streams, 0, 0);
    m_out.write(header.data(), header.size());
    m_dataStart = header.size() - kDataHeader;
    m_props.dataOffset = narrow(m_dataStart, "the data offset");
}

void Joiner::addClip(size_t k)
{
    const std::string &name = m_sources[k].name;
    std::unique_ptr<Input> owned = m_sources[k].open(true);
    Input &in = *owned;
    const Header h = readHeader(in, name);
    const std::string why = k ? streamDifference(m_first, h) : std::string();
    if (!why.empty()) // changed since its header was read
        throw Error(say(Msg::StreamsDiffer, {name, m_sources[0].name, why}));
    for (StreamOut &s : m_streams)
        s.startClip();

    // Packets lie one after the other in the input's buffer: their times are
    // changed there, and each run of them goes to the output in one piece,
    // before the buffer is refilled.
    Run run;
    in.setRefillHook([this, &in, &run] { writeRun(in, run); });
    struct HookGuard {
        Input &in;
        ~HookGuard() { in.setRefillHook(nullptr); }
    } guard{in};
    PacketReader reader(in, h, name);
    Packet p;
    while (reader.next(p))
        takePacket(in, p, name, run);
    writeRun(in, run);
    m_done += in.size();
    endClip(h);
}

void Joiner::writeRun(Input &in, Run &run)
{
    if (run.length)
        m_out.write(run.start, run.length);
    run.length = 0;
    if (m_progress)
        m_progress(m_done + in.tell(), m_total);
}

void Joiner::takePacket(Input &in, const Packet &p, const std::string &name, Run &run)
{
    uint8_t *packet = in.view(p.length);
    if (!packet)
        throw Error(say(Msg::PacketEndsEarly, {name}));
    StreamOut &st = m_streams[streamIndex(p.stream)];
    uint8_t *payload = packet + p.headerSize();
    const size_t payloadSize = p.length - p.headerSize();
    const uint64_t timestamp = (st.video ? p.timestamp : st.ownTime(p.timestamp)) + m_shift;
    const uint32_t outTime = narrow(timestamp, "a timestamp");
    bool startsFrame = true;
    size_t outLength = p.length;
    if (st.video) {
        outLength = rewriteVideo(st, p, payload, payloadSize, name, startsFrame);
    } else {
        if (!st.steady) // a steady stream's length is its data's
            st.sawTime(p.timestamp);
        if (st.event)
            rewriteEvent(st, p, payload, payloadSize);
    }
    put32(packet + 6, outTime);

    // Video: every frame that starts on a keyframe; other streams: the first
    // keyframe of each clip, then one every 2 s at least.
    if (p.keyframe() && startsFrame
        && (st.video || !st.indexedInClip || timestamp >= st.lastIndexed + kSparseIndexSpacing)) {
        st.index.push_back({outTime, narrow(m_out.tell() + run.length, "a packet offset"),
                            narrow(m_packets, "the packet count")});
        st.lastIndexed = timestamp;
        st.indexedInClip = true;
    }

    if (outLength == p.length) {
        if (st.video)
            rv::shiftInPlace(payload, m_pieces, uint32_t(m_shift));
        if (run.length && run.start + run.length != packet)
            writeRun(in, run);
        if (!run.length)
            run.start = packet;
        run.length += p.length;
    } else { // grown: written from a copy of its own
        writeRun(in, run);
        m_grown.resize(outLength);
        std::copy(packet, payload, m_grown.begin());
        put16(m_grown.data() + 2, uint16_t(outLength));
        rv::shifted(payload, payloadSize, m_pieces, uint32_t(m_shift), m_grown.data() + p.headerSize());
        m_out.write(m_grown.data(), outLength);
    }
    const size_t outPayload = outLength - p.headerSize();
    ++m_packets;
    m_bytes += outPayload;
    m_maxPacket = std::max<uint32_t>(m_maxPacket, uint32_t(outPayload));
    st.count(timestamp, outPayload);
}

// A video packet's frames carry their own times, which move on with the
// packet's; a time that outgrows 14 bits makes the packet longer. Returns
// the packet's new length.
size_t Joiner::rewriteVideo(StreamOut &st, const Packet &p, uint8_t *payload, size_t payloadSize,
                            const std::string &name, bool &startsFrame)
{
    if (!rv::parse(payload, payloadSize, m_pieces))
        throw Error(say(Msg::VideoUnreadable, {name, std::to_string(p.stream), std::to_string(p.position)}));
    startsFrame = rv::startsFrame(m_pieces);
    bool tooLate = false;
    const size_t outLength = p.length + rv::growth(m_pieces, narrow(m_shift, "a timestamp"), tooLate);
    if (tooLate)
        throw Error(say(Msg::TooLong30));
    if (outLength > 0xffff)
        throw Error(say(Msg::PacketGrows, {name}));
    bool packed = false;
    for (const rv::Piece &piece : m_pieces)
        if (piece.form == rv::Form::Packed) {
            st.sawTime(piece.offset.value);
            packed = true;
        }
    if (!packed)
        st.sawTime(p.timestamp);
    return outLength;
}

// An event's start and end count in tenths of a second: they move by the
// nearest whole tenth of the seam.
void Joiner::rewriteEvent(StreamOut &st, const Packet &p, uint8_t *payload, size_t payloadSize)
{
    uint32_t start = 0, end = 0;
    if (!eventTimes(payload, payloadSize, p.timestamp, start, end))
        return;
    st.eventEnd = std::max<uint64_t>(st.eventEnd, uint64_t(end) * kEventUnit);
    const uint64_t tenths = (m_shift + kEventUnit / 2) / kEventUnit;
    put32(payload + 2, narrow(start + tenths, "an event time"));
    put32(payload + 6, narrow(end + tenths, "an event time"));
}

// The next clip starts where this one's content ends: its longest stream,
// never before its own stated duration, never on its last packet.
void Joiner::endClip(const Header &h)
{
    uint64_t end = h.properties.duration;
    for (StreamOut &st : m_streams) {
        if (!st.seen)
            continue;
        end = std::max({end, st.clipEnd(), st.latest + 1});
        st.end = std::max(st.end, m_shift + st.clipEnd());
    }
    m_shift += std::max<uint64_t>(end, 1);
}

// One index chunk per stream that has packets, each pointing on to the
// next. Returns where the first one starts (0: none).
uint64_t Joiner::writeIndex()
{
    std::vector<size_t> indexed;
    for (size_t i = 0; i < m_streams.size(); ++i)
        if (m_streams[i].packets)
            indexed.push_back(i);
    const uint64_t indexStart = m_out.tell();
    uint64_t at = indexStart;
    for (size_t k = 0; k < indexed.size(); ++k) {
        const std::vector<IndexEntry> &entries = m_streams[indexed[k]].index;
        const uint64_t size = kIndexHeader + kIndexEntry * uint64_t(entries.size());
        const uint64_t nextAt = at + size;
        Builder b;
        b.u32(kINDX);
        b.u32(narrow(size, "an index size"));
        b.u16(0);
        b.u32(uint32_t(entries.size()));
        b.u16(m_first.streams[indexed[k]].number);
        b.u32(k + 1 < indexed.size() ? narrow(nextAt, "an index offset") : 0);
        for (const IndexEntry &e : entries) {
            b.u16(0);
            b.u32(e.timestamp);
            b.u32(e.offset);
            b.u32(e.packetNumber);
        }
        m_out.write(b.bytes.data(), b.bytes.size());
        at = nextAt;
    }
    m_props.indexOffset = indexed.empty() ? 0 : narrow(indexStart, "the index offset");
    return indexed.size();
}

void Joiner::finish()
{
    const uint64_t dataEnd = m_out.tell();
    const uint64_t indexChunks = writeIndex();
    const uint64_t fileEnd = m_out.tell();
    narrow(fileEnd, "the file size");

    Properties &props = m_props;
    props.duration = narrow(m_shift, "the duration");
    // As producers state it: the file's peak is its streams' peaks together.
    props.avgBitRate = rate(m_bytes, m_shift);
    uint64_t peaks = 0;
    for (const StreamOut &st : m_streams)
        peaks += st.packets ? st.maxBitRate() : 0;
    props.maxBitRate = uint32_t(std::min<uint64_t>(std::max<uint64_t>(props.avgBitRate, peaks),
                                                   std::numeric_limits<uint32_t>::max()));
    props.maxPacketSize = m_maxPacket;
    props.avgPacketSize = m_packets ? uint32_t(m_bytes / m_packets) : 0;
    props.numPackets = narrow(m_packets, "the packet count");
    props.preroll = m_first.properties.preroll;
    props.flags = m_first.properties.flags;
    const std::vector<uint8_t> header = buildHeader(m_first, props, m_streams,
                                                    narrow(dataEnd - m_dataStart, "the data size"),
                                                    uint32_t(indexChunks));
    m_out.seek(0);
    m_out.write(header.data(), header.size());
    m_out.seek(fileEnd);
}

} // namespace

void join(const std::vector<Source> &sources, Output &out, const Progress &progress)
{
    if (sources.empty())
        throw Error(say(Msg::NoInput));
    if (isOldRealAudio(*sources.front().open(false)))
        return joinOldRealAudio(sources, out, progress);
    Joiner joiner(sources, out, progress);
    joiner.begin();
    for (size_t k = 0; k < sources.size(); ++k)
        joiner.addClip(k);
    joiner.finish();
}

} // namespace rm
