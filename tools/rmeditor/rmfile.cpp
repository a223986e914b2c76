// The RealMedia container read from any Input: the header chunks and the
// packets of the DATA chunks.
#include "rmfile.h"

#include "clipinfo.h"
#include "messages.h"

#include <algorithm>
#include <cstring>

namespace rm {

namespace {

constexpr size_t kChunkHeader = 10;       // id, size, version
constexpr size_t kPropSize = 50;
constexpr uint32_t kMaxHeaderChunk = 16u << 20; // no header chunk of ours is near this
constexpr uint16_t kMaxStreams = 255;

std::string fourccText(uint32_t id)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((id >> shift) & 0xff);
        text += (c >= 32 && c < 127) ? c : '?';
    }
    return text;
}

// Big-endian fields of one chunk held in memory, read with bounds checks.
class Fields
{
public:
    Fields(const std::vector<uint8_t> &bytes, const std::string &where)
        : m_bytes(bytes), m_where(where) {}
    void need(size_t n) const
    {
        if (m_bytes.size() - m_pos < n)
            throw Error(say(Msg::ShorterThanFields, {m_where}));
    }
    uint8_t u8() { need(1); return m_bytes[m_pos++]; }
    uint16_t u16() { need(2); m_pos += 2; return be16(&m_bytes[m_pos - 2]); }
    uint32_t u32() { need(4); m_pos += 4; return be32(&m_bytes[m_pos - 4]); }
    std::vector<uint8_t> bytes(size_t n)
    {
        need(n);
        m_pos += n;
        return {m_bytes.begin() + long(m_pos - n), m_bytes.begin() + long(m_pos)};
    }
    std::string text(size_t n)
    {
        const std::vector<uint8_t> b = bytes(n);
        return std::string(b.begin(), b.end());
    }

private:
    const std::vector<uint8_t> &m_bytes;
    std::string m_where;
    size_t m_pos = 0;
};

struct ChunkHeader {
    uint32_t id = 0;
    uint32_t size = 0;
    uint16_t version = 0;
};

void readExactly(Input &in, uint8_t *to, size_t n, const std::string &what)
{
    if (in.read(to, n) != n)
        throw Error(say(Msg::EndsEarly, {what}));
}

// `pastEnd` lets a chunk claim more bytes than the file has: some writers
// put a slightly wrong size on the DATA chunk, whose packet count then decides.
ChunkHeader readChunkHeader(Input &in, uint64_t position, const std::string &name, bool pastEnd = false)
{
    if (position + kChunkHeader > in.size())
        throw Error(say(Msg::ChunkHeaderPastEnd, {name}));
    in.seek(position);
    uint8_t b[kChunkHeader];
    readExactly(in, b, sizeof b, name);
    ChunkHeader c{be32(b), be32(b + 4), be16(b + 8)};
    if (c.size < kChunkHeader)
        throw Error(say(Msg::ChunkBelowHeader, {name, fourccText(c.id)}));
    if (position + c.size > in.size() && !pastEnd)
        throw Error(say(Msg::ChunkPastEnd, {name, fourccText(c.id)}));
    return c;
}

std::vector<uint8_t> readChunkBody(Input &in, const ChunkHeader &c, const std::string &name)
{
    if (c.size > kMaxHeaderChunk)
        throw Error(say(Msg::ChunkTooLarge, {name, fourccText(c.id)}));
    std::vector<uint8_t> body(c.size - kChunkHeader);
    readExactly(in, body.data(), body.size(), name);
    return body;
}

// Says what a file that is not RealMedia is instead.
[[noreturn]] void notRealMedia(Input &in, const std::string &name)
{
    uint8_t head[64] = {};
    in.seek(0);
    const size_t n = in.read(head, sizeof head);
    if (isRealAudioMagic(head, n))
        throw Error(say(Msg::RawRealAudio, {name}));
    bool text = n > 0;
    for (size_t i = 0; i < n; ++i)
        if (head[i] < 9 || (head[i] > 13 && head[i] < 32))
            text = false;
    if (text)
        throw Error(say(Msg::TextFile, {name}));
    throw Error(say(Msg::NotRealMedia, {name}));
}

Stream parseStream(const std::vector<uint8_t> &body, uint16_t version, const std::string &where)
{
    if (version != 0)
        throw Error(say(Msg::UnknownVersion, {where}));
    Fields f(body, where);
    Stream s;
    s.number = f.u16();
    s.maxBitRate = f.u32();
    s.avgBitRate = f.u32();
    s.maxPacketSize = f.u32();
    s.avgPacketSize = f.u32();
    s.startTime = f.u32();
    s.preroll = f.u32();
    s.duration = f.u32();
    s.name = f.text(f.u8());
    s.mime = f.text(f.u8());
    s.typeSpecific = f.bytes(f.u32());
    return s;
}

} // namespace

// ---- the header section ---------------------------------------------------

namespace {

Properties parseProperties(const std::vector<uint8_t> &body, const std::string &name)
{
    Fields f(body, name + ": PROP");
    Properties p;
    p.maxBitRate = f.u32();
    p.avgBitRate = f.u32();
    p.maxPacketSize = f.u32();
    p.avgPacketSize = f.u32();
    p.numPackets = f.u32();
    p.duration = f.u32();
    p.preroll = f.u32();
    p.indexOffset = f.u32();
    p.dataOffset = f.u32();
    p.numStreams = f.u16();
    p.flags = f.u16();
    if (p.numStreams == 0)
        throw Error(say(Msg::NoStreams, {name}));
    if (p.numStreams > kMaxStreams)
        throw Error(say(Msg::ClaimsStreams, {name, std::to_string(p.numStreams)}));
    return p;
}

// As many streams described as PROP claims, each number once.
// A chunk as it stands in the file: its header, then its body.
std::vector<uint8_t> wholeChunk(const ChunkHeader &c, const std::vector<uint8_t> &body)
{
    Builder whole;
    whole.u32(c.id);
    whole.u32(c.size);
    whole.u16(c.version);
    whole.raw(body);
    return std::move(whole.bytes);
}

void checkStreams(const Header &header, const std::string &name)
{
    if (header.streams.size() != header.properties.numStreams)
        throw Error(say(Msg::PropCountDiffers, {name, std::to_string(header.properties.numStreams),
                                                std::to_string(header.streams.size())}));
    for (size_t i = 0; i < header.streams.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (header.streams[i].number == header.streams[j].number)
                throw Error(say(Msg::ShareNumber, {name, std::to_string(header.streams[i].number)}));
    for (const Stream &stream : header.streams)
        if (const StreamSummary audio = summarizeStream(stream); audio.audio())
            if (const std::string why = audioFramingProblem(audio); !why.empty())
                throw Error(say(Msg::AudioFraming, {name, std::to_string(stream.number), why}));
}

} // namespace

Header readHeader(Input &in, const std::string &name)
{
    if (in.size() == 0)
        throw Error(say(Msg::Empty, {name}));
    if (in.size() < kChunkHeader)
        notRealMedia(in, name);
    in.seek(0);
    uint8_t id[4];
    readExactly(in, id, 4, name);
    if (be32(id) != kRMF)
        notRealMedia(in, name);

    Header header;
    const ChunkHeader rmf = readChunkHeader(in, 0, name);
    const std::vector<uint8_t> rmfBody = readChunkBody(in, rmf, name);
    if (rmfBody.size() >= 4)
        header.fileVersion = be32(rmfBody.data());

    bool haveProperties = false;
    uint64_t pos = rmf.size;
    for (;;) {
        if (pos == in.size() && haveProperties)
            throw Error(say(Msg::NoMediaData, {name}));
        const ChunkHeader c = readChunkHeader(in, pos, name, true);
        if (c.id != kDATA && pos + c.size > in.size())
            throw Error(say(Msg::ChunkPastEnd, {name, fourccText(c.id)}));
        if (c.id == kDATA) {
            header.firstDataChunk = pos;
            break;
        }
        if (c.id == kPROP) {
            if (haveProperties)
                throw Error(say(Msg::TwoProp, {name}));
            if (c.size < kPropSize)
                throw Error(say(Msg::PropShort, {name}));
            header.properties = parseProperties(readChunkBody(in, c, name), name);
            haveProperties = true;
        } else if (c.id == kMDPR) {
            const std::vector<uint8_t> body = readChunkBody(in, c, name);
            if (header.streams.size() >= kMaxStreams)
                throw Error(say(Msg::TooManyMdpr, {name}));
            header.streams.push_back(parseStream(body, c.version, name + ": MDPR"));
        } else if (c.id == kCONT) {
            header.content = wholeChunk(c, readChunkBody(in, c, name));
        } else if (c.id == kINDX || c.id == kRMF) {
            throw Error(say(Msg::ChunkWhereHeader, {name, fourccText(c.id)}));
        }
        pos += c.size;
    }

    if (!haveProperties)
        throw Error(say(Msg::NoProp, {name}));
    checkStreams(header, name);
    return header;
}

// ---- packets ----------------------------------------------------------------

PacketReader::PacketReader(Input &in, const Header &header, const std::string &name)
    : m_in(in), m_header(header), m_name(name), m_pos(header.firstDataChunk)
{
}

void PacketReader::fail(Msg id, const std::string &a, const std::string &b) const
{
    throw Error(say(id, {m_name, a, b}));
}

bool PacketReader::enterDataChunk(uint64_t position)
{
    // Chunks after the packets: more DATA, or INDX and metadata that are skipped.
    while (position < m_in.size()) {
        if (m_in.size() - position < kChunkHeader) {
            // A few stray bytes at the end of a file are not worth failing over.
            return false;
        }
        const ChunkHeader c = readChunkHeader(m_in, position, m_name, true);
        const bool pastEnd = position + c.size > m_in.size();
        if (c.id == kDATA) {
            if (c.size < kDataHeader || m_in.size() - position < kDataHeader)
                fail(Msg::DataShort);
            uint8_t b[8];
            readExactly(m_in, b, sizeof b, m_name);
            m_declared = be32(b);
            if (pastEnd && m_declared == 0)
                fail(Msg::ChunkPastEnd, "DATA");
            m_seen = 0;
            m_pos = position + kDataHeader;
            m_chunkEnd = std::min<uint64_t>(position + c.size, m_in.size());
            m_cutShort = pastEnd;
            m_inData = true;
            return true;
        }
        if (pastEnd)
            return false; // a cut-off index or trailer after the packets
        position += c.size;
    }
    return false;
}

bool PacketReader::next(Packet &packet)
{
    for (;;) {
        if (!m_inData) {
            if (!enterDataChunk(m_pos))
                return false;
        }
        const bool allDeclaredSeen = m_declared != 0 && m_seen == m_declared;
        if (allDeclaredSeen || m_chunkEnd - m_pos < 12) {
            if (m_declared != 0 && m_seen < m_declared)
                fail(Msg::TruncatedData, std::to_string(m_seen), std::to_string(m_declared));
            m_inData = false;
            m_pos = m_chunkEnd;
            continue;
        }
        m_in.seek(m_pos);
        const size_t avail = size_t(std::min<uint64_t>(13, m_chunkEnd - m_pos));
        const uint8_t *b = m_in.view(avail);
        if (!b)
            fail(Msg::PacketHeaderEarly);
        packet.version = be16(b);
        if (packet.version > 1)
            fail(Msg::PacketVersion, std::to_string(packet.version));
        packet.length = be16(b + 2);
        if (packet.length < packet.headerSize() || avail < packet.headerSize())
            fail(Msg::PacketLengthSmall);
        if (packet.length > m_chunkEnd - m_pos)
            fail(m_cutShort ? Msg::PacketPastEnd : Msg::PacketPastChunk);
        packet.stream = be16(b + 4);
        packet.timestamp = be32(b + 6);
        packet.flags = packet.version == 0 ? b[11] : b[12];
        packet.position = m_pos;
        bool known = false;
        for (const Stream &s : m_header.streams)
            known = known || s.number == packet.stream;
        if (!known)
            fail(Msg::UndeclaredStream, std::to_string(packet.stream));
        m_in.seek(m_pos);
        m_pos += packet.length;
        ++m_seen;
        return true;
    }
}

StreamKind streamKind(const std::string &mime)
{
    struct Kind {
        const char *mime;
        StreamKind kind;
    };
    static constexpr Kind kKinds[] = {
        {"video/x-pn-realvideo", StreamKind::Video},
        {"video/x-pn-multirate-realvideo", StreamKind::Video},
        {"audio/x-pn-realaudio", StreamKind::Audio},
        {"audio/x-pn-multirate-realaudio", StreamKind::Audio},
        {"application/x-pn-realevent", StreamKind::Event},
        {"logical-fileinfo", StreamKind::FileInfo},
    };
    for (const Kind &k : kKinds)
        if (mime == k.mime)
            return k.kind;
    if (mime.rfind("logical-", 0) == 0)
        return StreamKind::Logical;
    // Other audio (lossless, AAC and MP3 in RealMedia) is timed like RealAudio.
    if (mime.rfind("audio/", 0) == 0)
        return StreamKind::Audio;
    return StreamKind::Unknown;
}

} // namespace rm
