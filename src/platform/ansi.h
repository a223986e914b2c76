#pragma once
#include <QByteArray>
#include <QString>

// Text exchanged with the settings file and the registry is in the system's
// ANSI code page: the system's own on Windows, Shift-JIS (CP932) elsewhere,
// so a file written on a Japanese Windows reads back the same here.
namespace ansi {

QByteArray encode(const QString &text);
QString decode(const QByteArray &bytes);

// True when `byte` opens a double-byte character of the ANSI code page.
bool isLeadByte(unsigned char byte);

// The longest prefix of `bytes` that is at most `maxBytes` long and does not
// end inside a double-byte character.
QByteArray truncate(const QByteArray &bytes, int maxBytes);

} // namespace ansi
