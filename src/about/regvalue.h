#pragma once
#include <QByteArray>
#include <QString>

// Registry value types that the decoding knows.
constexpr int kRegString = 1; // REG_SZ
constexpr int kRegDword = 4;  // REG_DWORD

// Turns what a registry query wrote into text. `buffer` holds the bytes the
// query wrote (`byteCount` of them; the rest of the 1,024-byte buffer is
// NUL). A string keeps the text up to its terminating NUL; a 32-bit number
// becomes its decimal text; any other type leaves `keyVal` as it was.
// Returns false only for a byte count outside the buffer.
bool decodeRegistryValue(const QByteArray &buffer, int byteCount, int type, QString &keyVal);
