#include "platform/ansi.h"

#include <QStringDecoder>
#include <QStringEncoder>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace ansi {

namespace {
const char *codePageName()
{
#ifdef Q_OS_WIN
    static const QByteArray name = "windows-" + QByteArray::number(GetACP());
    return name.constData();
#else
    return "windows-31j";
#endif
}
} // namespace

QByteArray encode(const QString &text)
{
    QStringEncoder encoder(codePageName());
    if (!encoder.isValid())
        return text.toLocal8Bit();
    return encoder.encode(text);
}

QString decode(const QByteArray &bytes)
{
    QStringDecoder decoder(codePageName());
    if (!decoder.isValid())
        return QString::fromLocal8Bit(bytes);
    return decoder.decode(bytes);
}

bool isLeadByte(unsigned char byte)
{
#ifdef Q_OS_WIN
    return IsDBCSLeadByte(byte);
#else
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
#endif
}

QByteArray truncate(const QByteArray &bytes, int maxBytes)
{
    if (bytes.size() <= maxBytes)
        return bytes;
    int end = 0;
    while (end < maxBytes) {
        const int width = isLeadByte(static_cast<unsigned char>(bytes[end])) ? 2 : 1;
        if (end + width > maxBytes)
            break;
        end += width;
    }
    return bytes.left(end);
}

} // namespace ansi
