#include "rmfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace rm {

namespace {

constexpr size_t kChunkHeader = 10;       // id, size, version
constexpr size_t kDataHeader = 18;        // chunk header, packet count, next DATA
constexpr size_t kIndexHeader = 20;       // chunk header, entry count, stream, next INDX
constexpr size_t kIndexEntry = 14;        // version, timestamp, offset, packet number
constexpr size_t kPropSize = 50;
constexpr uint32_t kMaxHeaderChunk = 16u << 20; // no header chunk of ours is near this
constexpr uint16_t kMaxStreams = 255;
constexpr size_t kBufferSize = 1u << 20;
constexpr size_t kDirectWrite = 64u << 10; // written without a copy into our buffer

uint32_t fourcc(const char *id)
{
    return uint32_t(uint8_t(id[0])) << 24 | uint32_t(uint8_t(id[1])) << 16
           | uint32_t(uint8_t(id[2])) << 8 | uint32_t(uint8_t(id[3]));
}

const uint32_t kRMF = fourcc(".RMF");
const uint32_t kPROP = fourcc("PROP");
const uint32_t kMDPR = fourcc("MDPR");
const uint32_t kCONT = fourcc("CONT");
const uint32_t kDATA = fourcc("DATA");
const uint32_t kINDX = fourcc("INDX");

uint16_t be16(const uint8_t *p)
{
    return uint16_t(p[0] << 8 | p[1]);
}

uint32_t be32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void put16(uint8_t *p, uint16_t v)
{
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

void put32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

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
            throw Error(m_where + " is shorter than its fields");
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

// Appends big-endian fields to a byte vector.
struct Builder {
    std::vector<uint8_t> bytes;
    void u8(uint8_t v) { bytes.push_back(v); }
    void u16(uint16_t v) { uint8_t b[2]; put16(b, v); bytes.insert(bytes.end(), b, b + 2); }
    void u32(uint32_t v) { uint8_t b[4]; put32(b, v); bytes.insert(bytes.end(), b, b + 4); }
    void raw(const std::vector<uint8_t> &v) { bytes.insert(bytes.end(), v.begin(), v.end()); }
    void raw(const std::string &v) { bytes.insert(bytes.end(), v.begin(), v.end()); }
    size_t chunkStart(uint32_t id)
    {
        const size_t at = bytes.size();
        u32(id);
        u32(0); // size, set by chunkEnd
        u16(0); // version
        return at;
    }
    void chunkEnd(size_t at) { put32(&bytes[at + 4], uint32_t(bytes.size() - at)); }
};

struct ChunkHeader {
    uint32_t id = 0;
    uint32_t size = 0;
    uint16_t version = 0;
};

void readExactly(Input &in, uint8_t *to, size_t n, const std::string &what)
{
    if (in.read(to, n) != n)
        throw Error(what + " ends early (truncated file)");
}

// `pastEnd` lets a chunk claim more bytes than the file has: some writers
// put a slightly wrong size on the DATA chunk, whose packet count then decides.
ChunkHeader readChunkHeader(Input &in, uint64_t position, const std::string &name, bool pastEnd = false)
{
    if (position + kChunkHeader > in.size())
        throw Error(name + ": truncated file (a chunk header runs past the end)");
    in.seek(position);
    uint8_t b[kChunkHeader];
    readExactly(in, b, sizeof b, name);
    ChunkHeader c{be32(b), be32(b + 4), be16(b + 8)};
    if (c.size < kChunkHeader)
        throw Error(name + ": chunk " + fourccText(c.id) + " has a size below its own header");
    if (position + c.size > in.size() && !pastEnd)
        throw Error(name + ": truncated file (chunk " + fourccText(c.id) + " points past the end)");
    return c;
}

std::vector<uint8_t> readChunkBody(Input &in, const ChunkHeader &c, const std::string &name)
{
    if (c.size > kMaxHeaderChunk)
        throw Error(name + ": header chunk " + fourccText(c.id) + " is implausibly large");
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
    if (n >= 4 && std::memcmp(head, ".ra\xfd", 4) == 0)
        throw Error(name + ": a raw RealAudio file, not a RealMedia file");
    bool text = n > 0;
    for (size_t i = 0; i < n; ++i)
        if (head[i] < 9 || (head[i] > 13 && head[i] < 32))
            text = false;
    if (text)
        throw Error(name + ": a text file (such as a .ram metafile), not a RealMedia file");
    throw Error(name + ": not a RealMedia file");
}

Stream parseStream(const std::vector<uint8_t> &body, uint16_t version, const std::string &where)
{
    if (version != 0)
        throw Error(where + " has an unknown version");
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

// ---- files and memory ---------------------------------------------------

namespace {

class FileInput : public Input
{
public:
    FileInput(std::FILE *file, uint64_t size) : m_file(file), m_size(size), m_buffer(kBufferSize) {}
    ~FileInput() override { std::fclose(m_file); }

    size_t read(uint8_t *to, size_t n) override
    {
        size_t done = 0;
        while (done < n) {
            if (m_at == m_filled) {
                refilling();
                if (n - done >= m_buffer.size()) { // large reads skip the buffer
                    const size_t got = std::fread(to + done, 1, n - done, m_file);
                    m_base += m_filled + got;
                    m_at = m_filled = 0;
                    done += got;
                    break;
                }
                m_base += m_filled;
                m_at = 0;
                m_filled = std::fread(m_buffer.data(), 1, m_buffer.size(), m_file);
                if (m_filled == 0)
                    break;
            }
            const size_t take = std::min(n - done, m_filled - m_at);
            std::memcpy(to + done, m_buffer.data() + m_at, take);
            m_at += take;
            done += take;
        }
        return done;
    }
    uint8_t *view(size_t n) override
    {
        if (m_filled - m_at < n) {
            refilling();
            // Keep what is left, and fill the buffer up behind it.
            std::memmove(m_buffer.data(), m_buffer.data() + m_at, m_filled - m_at);
            m_base += m_at;
            m_filled -= m_at;
            m_at = 0;
            while (m_filled < m_buffer.size()) {
                const size_t got = std::fread(m_buffer.data() + m_filled, 1, m_buffer.size() - m_filled, m_file);
                if (got == 0)
                    break;
                m_filled += got;
            }
            if (m_filled < n)
                return nullptr;
        }
        uint8_t *at = m_buffer.data() + m_at;
        m_at += n;
        return at;
    }
    void setRefillHook(std::function<void()> hook) override { m_refillHook = std::move(hook); }
    void seek(uint64_t position) override
    {
        if (position >= m_base && position <= m_base + m_filled) {
            m_at = size_t(position - m_base);
            return;
        }
        if (!seekFile(position))
            throw Error("cannot seek in an input file");
        m_base = position;
        m_at = m_filled = 0;
    }
    uint64_t tell() const override { return m_base + m_at; }
    uint64_t size() const override { return m_size; }

    static bool seekTo(std::FILE *file, uint64_t position, int whence = SEEK_SET)
    {
#ifdef _WIN32
        return _fseeki64(file, int64_t(position), whence) == 0;
#else
        return fseeko(file, off_t(position), whence) == 0;
#endif
    }
    static uint64_t position(std::FILE *file)
    {
#ifdef _WIN32
        return uint64_t(_ftelli64(file));
#else
        return uint64_t(ftello(file));
#endif
    }

private:
    bool seekFile(uint64_t position) { return seekTo(m_file, position); }
    void refilling()
    {
        if (m_refillHook)
            m_refillHook();
    }

    std::FILE *m_file;
    uint64_t m_size;
    std::vector<uint8_t> m_buffer;
    uint64_t m_base = 0; // file position of m_buffer[0]
    size_t m_at = 0, m_filled = 0;
    std::function<void()> m_refillHook;
};

class MemoryInput : public Input
{
public:
    MemoryInput(const uint8_t *data, size_t size) : m_bytes(data, data + size), m_data(m_bytes.data()), m_size(size) {}
    size_t read(uint8_t *to, size_t n) override
    {
        const size_t take = m_pos >= m_size ? 0 : std::min<uint64_t>(n, m_size - m_pos);
        if (take)
            std::memcpy(to, m_data + m_pos, take);
        m_pos += take;
        return take;
    }
    uint8_t *view(size_t n) override
    {
        if (m_pos > m_size || m_size - m_pos < n)
            return nullptr;
        m_pos += n;
        return m_data + m_pos - n;
    }
    void seek(uint64_t position) override { m_pos = position; }
    uint64_t tell() const override { return m_pos; }
    uint64_t size() const override { return m_size; }

private:
    std::vector<uint8_t> m_bytes;
    uint8_t *m_data;
    uint64_t m_size;
    uint64_t m_pos = 0;
};

class FileOutput : public Output
{
public:
    explicit FileOutput(std::FILE *file) : m_file(file), m_buffer(kBufferSize) {}
    ~FileOutput() override
    {
        if (m_file)
            std::fclose(m_file);
    }
    void finish() override
    {
        flush();
        std::FILE *file = m_file;
        m_file = nullptr;
        if (std::fclose(file) != 0)
            throw Error(std::string("write error: ") + std::strerror(errno));
    }

    void write(const uint8_t *from, size_t n) override
    {
        if (m_used + n > m_buffer.size())
            flush();
        if (n >= kDirectWrite) {
            flush();
            put(from, n);
        } else {
            std::memcpy(m_buffer.data() + m_used, from, n);
            m_used += n;
        }
        m_pos += n;
    }
    void seek(uint64_t position) override
    {
        flush();
        if (!FileInput::seekTo(m_file, position))
            throw Error(std::string("write error: ") + std::strerror(errno));
        m_pos = position;
    }
    uint64_t tell() const override { return m_pos; }
    void flush()
    {
        if (m_used)
            put(m_buffer.data(), m_used);
        m_used = 0;
        if (std::fflush(m_file) != 0)
            throw Error(std::string("write error: ") + std::strerror(errno));
    }

private:
    void put(const uint8_t *from, size_t n)
    {
        if (std::fwrite(from, 1, n, m_file) != n)
            throw Error(std::string("write error: ") + std::strerror(errno));
    }

    std::FILE *m_file;
    std::vector<uint8_t> m_buffer;
    size_t m_used = 0;
    uint64_t m_pos = 0;
};

class NullOutput : public Output
{
public:
    void write(const uint8_t *, size_t n) override { m_pos += n; }
    void seek(uint64_t position) override { m_pos = position; }
    uint64_t tell() const override { return m_pos; }

private:
    uint64_t m_pos = 0;
};

} // namespace

std::unique_ptr<Input> openFileInput(const std::string &path)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw Error(path + ": " + std::strerror(errno));
    if (!FileInput::seekTo(file, 0, SEEK_END)) {
        std::fclose(file);
        throw Error(path + ": cannot be read as a file");
    }
    const uint64_t size = FileInput::position(file);
    FileInput::seekTo(file, 0);
    std::setvbuf(file, nullptr, _IONBF, 0);
    return std::make_unique<FileInput>(file, size);
}

std::unique_ptr<Input> memoryInput(const uint8_t *data, size_t size)
{
    return std::make_unique<MemoryInput>(data, size);
}

std::unique_ptr<Output> createFileOutput(const std::string &path)
{
    std::FILE *file = std::fopen(path.c_str(), "wbx"); // never an existing file
    if (!file)
        throw Error(path + ": " + std::strerror(errno));
    std::setvbuf(file, nullptr, _IONBF, 0);
    return std::make_unique<FileOutput>(file);
}

std::unique_ptr<Output> nullOutput()
{
    return std::make_unique<NullOutput>();
}

// ---- the header section ---------------------------------------------------

Header readHeader(Input &in, const std::string &name)
{
    if (in.size() == 0)
        throw Error(name + ": empty file (0 bytes)");
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
        const ChunkHeader c = readChunkHeader(in, pos, name, true);
        if (c.id != kDATA && pos + c.size > in.size())
            throw Error(name + ": truncated file (chunk " + fourccText(c.id) + " points past the end)");
        if (c.id == kDATA) {
            header.firstDataChunk = pos;
            break;
        }
        if (c.id == kPROP) {
            if (haveProperties)
                throw Error(name + ": more than one PROP chunk");
            const std::vector<uint8_t> body = readChunkBody(in, c, name);
            if (c.size < kPropSize)
                throw Error(name + ": the PROP chunk is too short");
            Fields f(body, name + ": PROP");
            Properties &p = header.properties;
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
                throw Error(name + ": the file claims to hold no streams");
            if (p.numStreams > kMaxStreams)
                throw Error(name + ": the file claims " + std::to_string(p.numStreams) + " streams");
            haveProperties = true;
        } else if (c.id == kMDPR) {
            const std::vector<uint8_t> body = readChunkBody(in, c, name);
            if (header.streams.size() >= kMaxStreams)
                throw Error(name + ": too many MDPR chunks");
            header.streams.push_back(parseStream(body, c.version, name + ": MDPR"));
        } else if (c.id == kCONT) {
            const std::vector<uint8_t> body = readChunkBody(in, c, name);
            Builder whole;
            whole.u32(c.id);
            whole.u32(c.size);
            whole.u16(c.version);
            whole.raw(body);
            header.content = std::move(whole.bytes);
        } else if (c.id == kINDX || c.id == kRMF) {
            throw Error(name + ": chunk " + fourccText(c.id) + " where the header should be");
        }
        pos += c.size;
    }

    if (!haveProperties)
        throw Error(name + ": no PROP chunk");
    if (header.streams.size() != header.properties.numStreams)
        throw Error(name + ": PROP claims " + std::to_string(header.properties.numStreams)
                    + " streams but " + std::to_string(header.streams.size()) + " are described");
    for (size_t i = 0; i < header.streams.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (header.streams[i].number == header.streams[j].number)
                throw Error(name + ": two streams share the number "
                            + std::to_string(header.streams[i].number));
    return header;
}

// ---- packets ----------------------------------------------------------------

PacketReader::PacketReader(Input &in, const Header &header, const std::string &name)
    : m_in(in), m_header(header), m_name(name), m_pos(header.firstDataChunk)
{
}

void PacketReader::fail(const std::string &what) const
{
    throw Error(m_name + ": " + what);
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
                fail("a DATA chunk is shorter than its header");
            uint8_t b[8];
            readExactly(m_in, b, sizeof b, m_name);
            m_declared = be32(b);
            if (pastEnd && m_declared == 0)
                fail("truncated file (chunk DATA points past the end)");
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
                fail("truncated data (" + std::to_string(m_seen) + " of "
                     + std::to_string(m_declared) + " packets)");
            m_inData = false;
            m_pos = m_chunkEnd;
            continue;
        }
        m_in.seek(m_pos);
        const size_t avail = size_t(std::min<uint64_t>(13, m_chunkEnd - m_pos));
        const uint8_t *b = m_in.view(avail);
        if (!b)
            fail("truncated file (a packet header ends early)");
        packet.version = be16(b);
        if (packet.version > 1)
            fail("a packet of unknown version " + std::to_string(packet.version));
        packet.length = be16(b + 2);
        if (packet.length < packet.headerSize() || avail < packet.headerSize())
            fail("a packet whose length field is too small");
        if (packet.length > m_chunkEnd - m_pos)
            fail(m_cutShort ? "truncated file (a packet runs past the end)"
                            : "a packet runs past the end of its DATA chunk");
        packet.stream = be16(b + 4);
        packet.timestamp = be32(b + 6);
        packet.flags = packet.version == 0 ? b[11] : b[12];
        packet.position = m_pos;
        bool known = false;
        for (const Stream &s : m_header.streams)
            known = known || s.number == packet.stream;
        if (!known)
            fail("a packet of undeclared stream " + std::to_string(packet.stream));
        m_in.seek(m_pos);
        m_pos += packet.length;
        ++m_seen;
        return true;
    }
}

// ---- the join ---------------------------------------------------------------

namespace {

struct StreamTotals {
    uint64_t packets = 0, bytes = 0;
    uint32_t maxPacket = 0, maxBitRate = 0, duration = 0;
};

struct IndexEntry {
    uint32_t timestamp, offset, packetNumber;
};

bool sameStreams(const Header &a, const Header &b)
{
    if (a.streams.size() != b.streams.size())
        return false;
    for (size_t i = 0; i < a.streams.size(); ++i) {
        const Stream &x = a.streams[i], &y = b.streams[i];
        if (x.number != y.number || x.mime != y.mime || x.typeSpecific != y.typeSpecific)
            return false;
    }
    return true;
}

uint32_t rate(uint64_t bytes, uint64_t durationMs)
{
    if (durationMs == 0)
        return 0;
    return uint32_t(std::min<uint64_t>(bytes * 8000 / durationMs, std::numeric_limits<uint32_t>::max()));
}

uint32_t narrow(uint64_t value, const char *what)
{
    if (value > std::numeric_limits<uint32_t>::max())
        throw Error(std::string("the joined file would be too large (") + what + " beyond 32 bits)");
    return uint32_t(value);
}

// The header section: .RMF, PROP, CONT, one MDPR per stream, and the DATA
// chunk's own header. Its size does not depend on the numbers in it.
std::vector<uint8_t> buildHeader(const Header &first, const Properties &p,
                                 const std::vector<StreamTotals> &totals, uint32_t dataSize,
                                 uint32_t packets)
{
    Builder b;
    const uint32_t headers = 1 + (first.content.empty() ? 0 : 1) + 2 * uint32_t(first.streams.size()) + 1;
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
        const StreamTotals &t = totals[i];
        at = b.chunkStart(kMDPR);
        b.u16(s.number);
        b.u32(t.maxBitRate);
        b.u32(rate(t.bytes, t.duration));
        b.u32(t.maxPacket);
        b.u32(t.packets ? uint32_t(t.bytes / t.packets) : 0);
        b.u32(s.startTime);
        b.u32(s.preroll);
        b.u32(t.duration);
        b.u8(uint8_t(s.name.size()));
        b.raw(s.name);
        b.u8(uint8_t(s.mime.size()));
        b.raw(s.mime);
        b.u32(uint32_t(s.typeSpecific.size()));
        b.raw(s.typeSpecific);
        b.chunkEnd(at);
    }

    b.u32(kDATA);
    b.u32(dataSize);
    b.u16(0);
    b.u32(packets);
    b.u32(0); // no further DATA chunk
    return b.bytes;
}

} // namespace

void join(const std::vector<NamedInput> &inputs, Output &out)
{
    if (inputs.empty())
        throw Error("no input");

    std::vector<Header> headers;
    headers.reserve(inputs.size());
    for (const NamedInput &input : inputs)
        headers.push_back(readHeader(*input.input, input.name));
    const Header &first = headers.front();
    for (size_t k = 1; k < headers.size(); ++k)
        if (!sameStreams(first, headers[k]))
            throw Error(inputs[k].name + ": its streams differ from those of " + inputs[0].name);

    const size_t n = first.streams.size();
    std::vector<StreamTotals> totals(n);
    std::vector<std::vector<IndexEntry>> index(n);
    auto streamIndex = [&](uint16_t number) {
        for (size_t i = 0; i < n; ++i)
            if (first.streams[i].number == number)
                return i;
        return size_t(0); // the reader has already refused undeclared streams
    };

    // A header of the final size now; the real numbers are written at the end.
    Properties props;
    std::vector<uint8_t> headerBytes = buildHeader(first, props, totals, 0, 0);
    out.write(headerBytes.data(), headerBytes.size());
    const uint64_t dataStart = headerBytes.size() - kDataHeader;

    uint64_t shift = 0;     // ms: the durations of the inputs before this one
    uint64_t packets = 0, bytes = 0;
    uint32_t maxPacket = 0, maxBitRate = 0;
    for (size_t k = 0; k < inputs.size(); ++k) {
        Input &in = *inputs[k].input;
        const Header &h = headers[k];
        PacketReader reader(in, h, inputs[k].name);
        Packet p;
        uint64_t lastTimestamp = 0;
        // Packets lie one after the other in the input's buffer: their
        // timestamps are changed there, and each run of them goes to the
        // output in one piece, before the buffer is refilled.
        uint8_t *runStart = nullptr;
        size_t runLength = 0;
        auto writeRun = [&] {
            if (runLength)
                out.write(runStart, runLength);
            runLength = 0;
        };
        in.setRefillHook(writeRun);
        struct HookGuard {
            Input &in;
            ~HookGuard() { in.setRefillHook(nullptr); }
        } guard{in};
        while (reader.next(p)) {
            uint8_t *bytes = in.view(p.length);
            if (!bytes)
                throw Error(inputs[k].name + ": truncated file (a packet ends early)");
            const uint64_t timestamp = uint64_t(p.timestamp) + shift;
            put32(bytes + 6, narrow(timestamp, "a timestamp"));
            const size_t s = streamIndex(p.stream);
            if (p.keyframe())
                index[s].push_back({uint32_t(timestamp), narrow(out.tell() + runLength, "a packet offset"),
                                    narrow(packets, "the packet count")});
            if (runLength && runStart + runLength != bytes)
                writeRun();
            if (!runLength)
                runStart = bytes;
            runLength += p.length;
            ++packets;
            bytes += p.length;
            maxPacket = std::max<uint32_t>(maxPacket, p.length);
            totals[s].packets++;
            totals[s].bytes += p.length;
            totals[s].maxPacket = std::max<uint32_t>(totals[s].maxPacket, p.length);
            lastTimestamp = std::max<uint64_t>(lastTimestamp, p.timestamp);
        }
        writeRun();
        // How long this input lasts: its own word for it, else its streams',
        // else its last packet.
        uint64_t duration = h.properties.duration;
        for (const Stream &st : h.streams)
            if (duration == 0)
                duration = std::max<uint64_t>(duration, st.duration);
        if (duration == 0)
            duration = lastTimestamp + 1;
        for (size_t i = 0; i < n; ++i) {
            const uint64_t own = h.streams[i].duration ? h.streams[i].duration : duration;
            totals[i].duration = narrow(shift + own, "a duration");
            totals[i].maxBitRate = std::max(totals[i].maxBitRate, h.streams[i].maxBitRate);
        }
        maxBitRate = std::max(maxBitRate, h.properties.maxBitRate);
        shift += duration;
    }
    const uint64_t dataEnd = out.tell();

    // One index chunk per stream, each pointing on to the next.
    const uint64_t indexStart = dataEnd;
    uint64_t at = indexStart;
    for (size_t i = 0; i < n; ++i) {
        const uint64_t size = kIndexHeader + kIndexEntry * uint64_t(index[i].size());
        const uint64_t nextAt = at + size;
        Builder b;
        b.u32(kINDX);
        b.u32(narrow(size, "an index size"));
        b.u16(0);
        b.u32(uint32_t(index[i].size()));
        b.u16(first.streams[i].number);
        b.u32(i + 1 < n ? narrow(nextAt, "an index offset") : 0);
        for (const IndexEntry &e : index[i]) {
            b.u16(0);
            b.u32(e.timestamp);
            b.u32(e.offset);
            b.u32(e.packetNumber);
        }
        out.write(b.bytes.data(), b.bytes.size());
        at = nextAt;
    }
    narrow(out.tell(), "the file size");

    props.maxBitRate = maxBitRate;
    props.duration = narrow(shift, "the duration");
    props.avgBitRate = rate(bytes, shift);
    props.maxPacketSize = maxPacket;
    props.avgPacketSize = packets ? uint32_t(bytes / packets) : 0;
    props.numPackets = narrow(packets, "the packet count");
    props.preroll = first.properties.preroll;
    props.indexOffset = narrow(indexStart, "the index offset");
    props.dataOffset = narrow(dataStart, "the data offset");
    props.numStreams = uint16_t(n);
    props.flags = first.properties.flags;
    headerBytes = buildHeader(first, props, totals, narrow(dataEnd - dataStart, "the data size"),
                              props.numPackets);
    out.seek(0);
    out.write(headerBytes.data(), headerBytes.size());
    out.seek(at);
}

} // namespace rm
