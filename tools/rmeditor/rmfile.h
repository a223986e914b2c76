// Reading and writing RealMedia files (.rm): the chunked container of
// ".RMF", PROP, MDPR, CONT, DATA and INDX chunks, all numbers big-endian.
// Only headers are parsed; packets are copied byte for byte.
#pragma once

#include "messages.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace rm {

inline uint16_t be16(const uint8_t *p) { return uint16_t(p[0] << 8 | p[1]); }
inline uint32_t be32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline void put16(uint8_t *p, uint16_t v)
{
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void put32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

constexpr uint32_t fourcc(const char (&id)[5])
{
    return uint32_t(uint8_t(id[0])) << 24 | uint32_t(uint8_t(id[1])) << 16 | uint32_t(uint8_t(id[2])) << 8
           | uint32_t(uint8_t(id[3]));
}
constexpr uint32_t kRMF = fourcc(".RMF");
constexpr uint32_t kPROP = fourcc("PROP");
constexpr uint32_t kMDPR = fourcc("MDPR");
constexpr uint32_t kCONT = fourcc("CONT");
constexpr uint32_t kDATA = fourcc("DATA");
constexpr uint32_t kINDX = fourcc("INDX");
// RealAudio's own header, standing alone (old .ra files) or as a stream's type data.
inline bool isRealAudioMagic(const uint8_t *bytes, size_t size)
{
    return size >= 4 && bytes[0] == '.' && bytes[1] == 'r' && bytes[2] == 'a' && bytes[3] == 0xfd;
}
constexpr size_t kDataHeader = 18;  // chunk header, packet count, next DATA
constexpr size_t kBufferSize = 1u << 20;

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

// Anything wrong with an input or the output; the message is one line for the user.
struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A readable, seekable byte source.
class Input
{
public:
    virtual ~Input() = default;
    // Reads up to `n` bytes; fewer only at the end.
    virtual size_t read(uint8_t *to, size_t n) = 0;
    // The next `n` bytes (at most 64 KiB) in the input's own buffer, where
    // they may be changed; null when the input ends first. They stay valid
    // until the buffer is refilled, and the refill hook runs just before that.
    virtual uint8_t *view(size_t n) = 0;
    virtual void setRefillHook(std::function<void()> hook) { (void)hook; }
    virtual void seek(uint64_t position) = 0;
    virtual uint64_t tell() const = 0;
    virtual uint64_t size() const = 0;
};

// A writable, seekable byte sink.
class Output
{
public:
    virtual ~Output() = default;
    virtual void write(const uint8_t *from, size_t n) = 0;
    virtual void seek(uint64_t position) = 0;
    virtual uint64_t tell() const = 0;
    // Everything written has reached the file (and the file is closed).
    virtual void finish() {}
};

// A regular file opened for reading (anything else, such as a FIFO or a
// device, is refused at once), read through `buffer`, which may be shared by
// inputs opened one after the other; `capacity` is how much of it to use.
std::unique_ptr<Input> openFileInput(const std::string &path, std::vector<uint8_t> &buffer,
                                     size_t capacity);
// A copy of bytes in memory (for the parser's fuzzing).
std::unique_ptr<Input> memoryInput(const uint8_t *data, size_t size);
// Writes to an open file through a large buffer; `name` is the output as the
// user named it, for messages. finish() flushes it to the disk.
std::unique_ptr<Output> fileOutput(std::FILE *file, const std::string &name);
// Counts and forgets what is written.
std::unique_ptr<Output> nullOutput();
// Writes into `bytes` (for tests of what a join writes, without files).
std::unique_ptr<Output> memoryOutput(std::vector<uint8_t> &bytes);

#ifdef _WIN32
// Paths and messages are UTF-8 inside the joiner; Windows takes UTF-16.
std::wstring wide(const std::string &utf8);
std::string utf8(const std::wstring &text);
// A path for the wide file functions (long ones in their unlimited form).
std::wstring windowsPath(const std::string &path);
// A system error code in words, as strerror gives them elsewhere.
std::string windowsError(unsigned long code);
#endif

struct Properties {           // the PROP chunk
    uint32_t maxBitRate = 0, avgBitRate = 0, maxPacketSize = 0, avgPacketSize = 0;
    uint32_t numPackets = 0, duration = 0, preroll = 0, indexOffset = 0, dataOffset = 0;
    uint16_t numStreams = 0, flags = 0;
};

struct Stream {               // one MDPR chunk
    uint16_t number = 0;
    uint32_t maxBitRate = 0, avgBitRate = 0, maxPacketSize = 0, avgPacketSize = 0;
    uint32_t startTime = 0, preroll = 0, duration = 0;
    std::string name, mime;
    std::vector<uint8_t> typeSpecific;
};

// What a stream is, from its MIME type: one table for the join's packet
// rules, the clip summaries and the window. RealVideo and RealAudio in
// every form (the multi-rate ones included); "logical-" streams describe
// the others and carry no packets of their own.
enum class StreamKind { Video, Audio, Event, FileInfo, Logical, Unknown };
StreamKind streamKind(const std::string &mime);

struct Header {
    uint32_t fileVersion = 0;
    Properties properties;
    std::vector<Stream> streams;
    std::vector<uint8_t> content;  // the whole CONT chunk as it was, or empty
    uint64_t firstDataChunk = 0;   // file position of the first DATA chunk
};

// Reads the header section up to the first DATA chunk. `name` is used in messages.
Header readHeader(Input &in, const std::string &name);

struct Packet {
    uint16_t version = 0;
    uint16_t length = 0;      // the whole packet, header included
    uint16_t stream = 0;
    uint32_t timestamp = 0;
    uint8_t flags = 0;        // keyframe: bit 1
    uint64_t position = 0;    // where it starts in its file
    bool keyframe() const { return flags & 0x02; }
    size_t headerSize() const { return version == 0 ? 12 : 13; }
};

// Walks the packets of every DATA chunk of an input, in file order.
class PacketReader
{
public:
    PacketReader(Input &in, const Header &header, const std::string &name);
    // The next packet's header, with the input placed on its first byte;
    // false after the last one.
    bool next(Packet &packet);

private:
    bool enterDataChunk(uint64_t position);
    [[noreturn]] void fail(Msg id, const std::string &a = {}, const std::string &b = {}) const;

    Input &m_in;
    const Header &m_header;
    std::string m_name;
    uint64_t m_pos = 0;          // next byte to look at
    uint64_t m_chunkEnd = 0;     // end of the current DATA chunk
    uint32_t m_declared = 0;     // packets the chunk says it holds (0: not said)
    uint32_t m_seen = 0;
    bool m_inData = false;
    bool m_cutShort = false;     // the chunk claims more bytes than the file has
};

} // namespace rm
