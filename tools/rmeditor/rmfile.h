// Reading and writing RealMedia files (.rm): the chunked container of
// ".RMF", PROP, MDPR, CONT, DATA and INDX chunks, all numbers big-endian.
// Only headers are parsed; packets are copied byte for byte.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace rm {

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

// A file opened for reading, read through a large buffer of its own.
std::unique_ptr<Input> openFileInput(const std::string &path);
// A copy of bytes in memory (for the parser's fuzzing).
std::unique_ptr<Input> memoryInput(const uint8_t *data, size_t size);
// A new file for writing (never an existing one), written through a large buffer.
std::unique_ptr<Output> createFileOutput(const std::string &path);
// Counts and forgets what is written.
std::unique_ptr<Output> nullOutput();

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
    [[noreturn]] void fail(const std::string &what) const;

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

// Joins the inputs into `out`: one fresh header, every packet in order with
// its timestamp moved on by the durations of the inputs before it, and a
// fresh index per stream. Throws Error naming the input at fault.
struct NamedInput {
    std::string name;
    Input *input;
};
void join(const std::vector<NamedInput> &inputs, Output &out);

} // namespace rm
