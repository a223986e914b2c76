#include "rvpayload.h"

#include <algorithm>
#include <cstring>

namespace rm::rv {

bool readNumber(const uint8_t *p, size_t left, Number &number)
{
    if (left < 2)
        return false;
    const uint16_t first = uint16_t(p[0] << 8 | p[1]);
    number.highBit = first & 0x8000;
    if (first & 0x4000) {
        number.width = 2;
        number.value = first & 0x3fff;
        return true;
    }
    if (left < 4)
        return false;
    number.width = 4;
    number.value = uint32_t(first & 0x3fff) << 16 | uint32_t(p[2] << 8 | p[3]);
    return true;
}

size_t writeNumber(uint8_t *p, uint32_t value, uint8_t width, bool highBit)
{
    const uint8_t high = highBit ? 0x80 : 0;
    if (width == 2 && value <= kShortMax) {
        p[0] = uint8_t(high | 0x40 | (value >> 8));
        p[1] = uint8_t(value);
        return 2;
    }
    p[0] = uint8_t(high | ((value >> 24) & 0x3f));
    p[1] = uint8_t(value >> 16);
    p[2] = uint8_t(value >> 8);
    p[3] = uint8_t(value);
    return 4;
}

bool parse(const uint8_t *payload, size_t size, std::vector<Piece> &pieces)
{
    pieces.clear();
    size_t pos = 0;
    while (pos < size) {
        Piece piece;
        piece.start = pos;
        piece.form = Form(payload[pos] >> 6);
        size_t at = pos + 1;
        if (piece.form != Form::Packed) {
            if (at >= size)
                return false;
            piece.sequence = payload[at++];
        }
        if (piece.form == Form::Whole) {
            piece.end = size;
            pieces.push_back(piece);
            return true;
        }
        if (!readNumber(payload + at, size - at, piece.length))
            return false;
        at += piece.length.width;
        piece.offsetAt = at;
        if (!readNumber(payload + at, size - at, piece.offset))
            return false;
        at += piece.offset.width;
        if (at >= size)
            return false; // the picture number
        ++at;
        switch (piece.form) {
        case Form::Packed:
            if (piece.length.value > size - at)
                return false;
            piece.end = at + piece.length.value;
            break;
        case Form::LastPartial:
            piece.end = at + std::min<size_t>(piece.offset.value, size - at);
            break;
        default:
            piece.end = size;
            break;
        }
        pieces.push_back(piece);
        pos = piece.end;
    }
    return !pieces.empty();
}

bool startsFrame(const std::vector<Piece> &pieces)
{
    if (pieces.empty())
        return false;
    const Piece &p = pieces.front();
    switch (p.form) {
    case Form::Partial:
        return p.offset.value == 0;
    case Form::LastPartial: // a frame sent as one last piece
        return p.offset.value == p.length.value || (p.sequence & 0x7f) == 1;
    default:
        return true;
    }
}

size_t growth(const std::vector<Piece> &pieces, uint32_t shift, bool &tooLate)
{
    size_t extra = 0;
    tooLate = false;
    for (const Piece &p : pieces) {
        if (p.form != Form::Packed)
            continue;
        const uint64_t time = uint64_t(p.offset.value) + shift;
        if (time > kLongMax)
            tooLate = true;
        else if (p.offset.width == 2 && time > kShortMax)
            extra += 2;
    }
    return extra;
}

size_t shifted(const uint8_t *payload, size_t size, const std::vector<Piece> &pieces, uint32_t shift,
               uint8_t *out)
{
    size_t from = 0, to = 0;
    for (const Piece &p : pieces) {
        if (p.form != Form::Packed)
            continue;
        std::memcpy(out + to, payload + from, p.offsetAt - from);
        to += p.offsetAt - from;
        to += writeNumber(out + to, p.offset.value + shift, p.offset.width, p.offset.highBit);
        from = p.offsetAt + p.offset.width;
    }
    std::memcpy(out + to, payload + from, size - from);
    return to + size - from;
}

void shiftInPlace(uint8_t *payload, const std::vector<Piece> &pieces, uint32_t shift)
{
    for (const Piece &p : pieces)
        if (p.form == Form::Packed)
            writeNumber(payload + p.offsetAt, p.offset.value + shift, p.offset.width, p.offset.highBit);
}

} // namespace rm::rv
