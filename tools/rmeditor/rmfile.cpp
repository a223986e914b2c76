#include "rmfile.h"

#include "messages.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace rm {

namespace {

constexpr size_t kChunkHeader = 10;       // id, size, version
constexpr size_t kPropSize = 50;
constexpr uint32_t kMaxHeaderChunk = 16u << 20; // no header chunk of ours is near this
constexpr uint16_t kMaxStreams = 255;
constexpr size_t kDirectWrite = 64u << 10; // written without a copy into our buffer

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
    if (n >= 4 && std::memcmp(head, ".ra\xfd", 4) == 0)
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

// ---- files and memory ---------------------------------------------------

namespace {

#ifdef _WIN32
using FileHandle = HANDLE;
#else
using FileHandle = int;
#endif

// A file read straight through the system's calls into our own buffer: one
// read takes a small clip whole, and nothing is read past the size it had
// when it was opened.
class FileInput : public Input
{
public:
    FileInput(FileHandle file, std::string name, uint64_t size, uint8_t *buffer, size_t capacity)
        : m_file(file), m_name(std::move(name)), m_size(size), m_data(buffer), m_capacity(capacity) {}
    ~FileInput() override
    {
#ifdef _WIN32
        CloseHandle(m_file);
#else
        ::close(m_file);
#endif
    }

    size_t read(uint8_t *to, size_t n) override
    {
        size_t done = 0;
        while (done < n) {
            if (m_at == m_filled) {
                refilling();
                if (n - done >= m_capacity) { // large reads skip the buffer
                    const size_t got = readFile(to + done, n - done);
                    m_base += m_filled + got;
                    m_at = m_filled = 0;
                    done += got;
                    break;
                }
                m_base += m_filled;
                m_at = 0;
                m_filled = readFile(m_data, m_capacity);
                if (m_filled == 0)
                    break;
            }
            const size_t take = std::min(n - done, m_filled - m_at);
            std::memcpy(to + done, m_data + m_at, take);
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
            std::memmove(m_data, m_data + m_at, m_filled - m_at);
            m_base += m_at;
            m_filled -= m_at;
            m_at = 0;
            m_filled += readFile(m_data + m_filled, m_capacity - m_filled);
            if (m_filled < n)
                return nullptr;
        }
        uint8_t *at = m_data + m_at;
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
#ifdef _WIN32
        LARGE_INTEGER to;
        to.QuadPart = LONGLONG(position);
        const bool moved = SetFilePointerEx(m_file, to, nullptr, FILE_BEGIN);
#else
        const bool moved = ::lseek(m_file, off_t(position), SEEK_SET) == off_t(position);
#endif
        if (!moved)
            throw Error(say(Msg::CannotSeek, {m_name}));
        m_base = position;
        m_at = m_filled = 0;
    }
    uint64_t tell() const override { return m_base + m_at; }
    uint64_t size() const override { return m_size; }

private:
    // Fills `to` as far as the file goes (its size when opened), in as few calls as it takes.
    size_t readFile(uint8_t *to, size_t n)
    {
        const uint64_t position = m_base + m_filled;
        n = size_t(std::min<uint64_t>(n, position < m_size ? m_size - position : 0));
        size_t done = 0;
        while (done < n) {
#ifdef _WIN32
            DWORD got = 0;
            if (!ReadFile(m_file, to + done, DWORD(std::min<size_t>(n - done, 1u << 30)), &got, nullptr))
                throw Error(say(Msg::SystemError, {m_name, windowsError(GetLastError())}));
#else
            const ssize_t got = ::read(m_file, to + done, n - done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                throw Error(say(Msg::SystemError, {m_name, std::strerror(errno)}));
#endif
            if (got == 0)
                break; // shorter than it was: the caller finds it truncated
            done += size_t(got);
        }
        return done;
    }
    void refilling()
    {
        if (m_refillHook)
            m_refillHook();
    }

    FileHandle m_file;
    std::string m_name;
    uint64_t m_size;
    uint8_t *m_data;     // the buffer, maybe shared with inputs before and after this one
    size_t m_capacity;
    uint64_t m_base = 0; // file position of m_data[0]
    size_t m_at = 0, m_filled = 0;
    std::function<void()> m_refillHook;
};

bool seekTo(std::FILE *file, uint64_t position)
{
#ifdef _WIN32
    return _fseeki64(file, int64_t(position), SEEK_SET) == 0;
#else
    return fseeko(file, off_t(position), SEEK_SET) == 0;
#endif
}

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
    FileOutput(std::FILE *file, std::string name) : m_file(file), m_name(std::move(name)), m_buffer(kBufferSize) {}
    ~FileOutput() override { std::fclose(m_file); }
    void finish() override
    {
        flush();
#ifdef _WIN32
        const bool synced = _commit(_fileno(m_file)) == 0;
#else
        const bool synced = fsync(fileno(m_file)) == 0;
#endif
        if (!synced)
            fail();
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
        if (!seekTo(m_file, position))
            fail();
        m_pos = position;
    }
    uint64_t tell() const override { return m_pos; }
    void flush()
    {
        if (m_used)
            put(m_buffer.data(), m_used);
        m_used = 0;
        if (std::fflush(m_file) != 0)
            fail();
    }

private:
    [[noreturn]] void fail() const { throw Error(say(Msg::CannotBeWrittenBecause, {m_name, std::strerror(errno)})); }
    void put(const uint8_t *from, size_t n)
    {
        if (std::fwrite(from, 1, n, m_file) != n)
            fail();
    }

    std::FILE *m_file;
    std::string m_name; // the output as the user named it
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

class MemoryOutput : public Output
{
public:
    explicit MemoryOutput(std::vector<uint8_t> &bytes) : m_bytes(bytes) { m_bytes.clear(); }
    void write(const uint8_t *from, size_t n) override
    {
        if (m_pos + n > m_bytes.size())
            m_bytes.resize(size_t(m_pos + n));
        std::memcpy(m_bytes.data() + m_pos, from, n);
        m_pos += n;
    }
    void seek(uint64_t position) override { m_pos = position; }
    uint64_t tell() const override { return m_pos; }

private:
    std::vector<uint8_t> &m_bytes;
    uint64_t m_pos = 0;
};

} // namespace

std::unique_ptr<Input> openFileInput(const std::string &path, std::vector<uint8_t> &buffer, size_t capacity)
{
#ifdef _WIN32
    // By its wide name, whatever the system's code page; anything but a
    // file on a disk (a pipe, a device) is refused before a byte is read.
    HANDLE file = CreateFileW(windowsPath(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw Error(say(Msg::SystemError, {path, windowsError(GetLastError())}));
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info)
        || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        const bool folder = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        CloseHandle(file);
        throw Error(say(folder ? Msg::IsFolder : Msg::NotRegular, {path}));
    }
    const uint64_t size = uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
#else
    // Opened without waiting, so that a FIFO cannot block us; anything but
    // a regular file is refused before a byte is read. (For a regular file
    // the flag changes nothing.)
    const int file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file < 0)
        throw Error(say(Msg::SystemError, {path, std::strerror(errno)}));
    struct stat st {};
    if (fstat(file, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(file);
        throw Error(say(S_ISDIR(st.st_mode) ? Msg::IsFolder : Msg::NotRegular, {path}));
    }
    const uint64_t size = uint64_t(st.st_size);
#endif
    if (buffer.size() < capacity)
        buffer.resize(capacity);
    return std::make_unique<FileInput>(file, path, size, buffer.data(), capacity);
}

std::unique_ptr<Input> memoryInput(const uint8_t *data, size_t size)
{
    return std::make_unique<MemoryInput>(data, size);
}

std::unique_ptr<Output> fileOutput(std::FILE *file, const std::string &name)
{
    std::setvbuf(file, nullptr, _IONBF, 0);
    return std::make_unique<FileOutput>(file, name);
}

std::unique_ptr<Output> nullOutput()
{
    return std::make_unique<NullOutput>();
}

std::unique_ptr<Output> memoryOutput(std::vector<uint8_t> &bytes)
{
    return std::make_unique<MemoryOutput>(bytes);
}

// ---- the header section ---------------------------------------------------

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
            const std::vector<uint8_t> body = readChunkBody(in, c, name);
            if (c.size < kPropSize)
                throw Error(say(Msg::PropShort, {name}));
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
                throw Error(say(Msg::NoStreams, {name}));
            if (p.numStreams > kMaxStreams)
                throw Error(say(Msg::ClaimsStreams, {name, std::to_string(p.numStreams)}));
            haveProperties = true;
        } else if (c.id == kMDPR) {
            const std::vector<uint8_t> body = readChunkBody(in, c, name);
            if (header.streams.size() >= kMaxStreams)
                throw Error(say(Msg::TooManyMdpr, {name}));
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
            throw Error(say(Msg::ChunkWhereHeader, {name, fourccText(c.id)}));
        }
        pos += c.size;
    }

    if (!haveProperties)
        throw Error(say(Msg::NoProp, {name}));
    if (header.streams.size() != header.properties.numStreams)
        throw Error(say(Msg::PropCountDiffers, {name, std::to_string(header.properties.numStreams),
                                                std::to_string(header.streams.size())}));
    for (size_t i = 0; i < header.streams.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (header.streams[i].number == header.streams[j].number)
                throw Error(say(Msg::ShareNumber, {name, std::to_string(header.streams[i].number)}));
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

#ifdef _WIN32

std::wstring wide(const std::string &utf8)
{
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring text(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(), n);
    return text;
}

std::string utf8(const std::wstring &text)
{
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(), n, nullptr, nullptr);
    return bytes;
}

std::wstring windowsPath(const std::string &path)
{
    const std::wstring given = wide(path);
    if (given.size() < 240 || given.rfind(L"\\\\?\\", 0) == 0)
        return given;
    // Long paths take the form that has no length limit: full, with backslashes.
    const DWORD n = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    std::wstring full(n, L'\0');
    const DWORD got = GetFullPathNameW(given.c_str(), n, full.data(), nullptr);
    if (got == 0 || got >= n)
        return given;
    full.resize(got);
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::string windowsError(unsigned long code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return "No such file or directory";
    case ERROR_ACCESS_DENIED:
        return "Permission denied";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return "already exists";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return "No space left on device";
    default:
        break;
    }
    wchar_t *text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   DWORD(code), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string message = text ? utf8(text) : "error " + std::to_string(code);
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

#endif

} // namespace rm
