// The payload of a RealVideo packet: one or more frame pieces, each with a
// small header of its own. The header's first byte says the piece's form in
// its top two bits:
//
//   form          first byte  then
//   partial       00xxxxxx    sequence byte, frame length, piece offset, picture number, data to the end
//   whole         01xxxxxx    sequence byte, data to the end
//   last partial  10xxxxxx    sequence byte, frame length, piece length, picture number, data
//   packed        11xxxxxx    frame length, frame time (ms), picture number, data of that length
//
// Several packed frames follow each other in one packet, each carrying its own
// time. The numbers (frame length, offset, time) take 2 bytes when bit 14 of
// the first 16-bit word is set (a 14-bit value), else 4 bytes (a 30-bit
// value); bit 15 is kept as found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rm::rv {

enum class Form : uint8_t { Partial = 0, Whole = 1, LastPartial = 2, Packed = 3 };

constexpr uint32_t kShortMax = 0x3fff;     // largest value of the 2-byte encoding
constexpr uint32_t kLongMax = 0x3fffffff;  // largest value of the 4-byte encoding

struct Number {
    uint32_t value = 0;
    uint8_t width = 0;     // 2 or 4
    bool highBit = false;  // bit 15 of the first word
};

// Reads a number at `p`; false when fewer than its bytes are left.
bool readNumber(const uint8_t *p, size_t left, Number &number);
// Writes `value` in `width` bytes (2 only if it fits); returns the bytes written.
size_t writeNumber(uint8_t *p, uint32_t value, uint8_t width, bool highBit);

struct Piece {
    Form form = Form::Whole;
    size_t start = 0;        // offset of its first byte in the payload
    uint8_t sequence = 0;    // the sequence byte (not in packed pieces)
    Number length, offset;   // frame length; piece offset, piece length or frame time
    size_t offsetAt = 0;     // where `offset` starts in the payload
    size_t end = 0;          // offset just past its data
};

// The pieces of one payload, in order. Returns false when the payload does
// not hold well-formed pieces (a header or a packed frame runs past its end).
bool parse(const uint8_t *payload, size_t size, std::vector<Piece> &pieces);

// Whether the packet begins a frame (rather than continuing one).
bool startsFrame(const std::vector<Piece> &pieces);

// How many bytes the payload grows when its frame times move on by `shift`
// ms; sets `tooLate` when a time goes past what 30 bits hold.
size_t growth(const std::vector<Piece> &pieces, uint32_t shift, bool &tooLate);

// Copies the payload to `out` (room for size + growth bytes) with every
// packed frame's time moved on by `shift`; returns the bytes written.
size_t shifted(const uint8_t *payload, size_t size, const std::vector<Piece> &pieces, uint32_t shift,
               uint8_t *out);

// Moves the frame times on in place; only when growth() is 0.
void shiftInPlace(uint8_t *payload, const std::vector<Piece> &pieces, uint32_t shift);

} // namespace rm::rv
