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
    const QByteArray whole = encoder.encode(text);
    if (decode(whole) == text)
        return whole;
    // A character the code page lacks becomes "?", as the system's own
    // conversion writes it.
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype width = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString one = text.mid(i, width);
        QStringEncoder single(codePageName());
        const QByteArray bytes = single.encode(one);
        out += decode(bytes) == one ? bytes : QByteArray("?");
        i += width - 1;
    }
    return out;
}

QString decode(const QByteArray &bytes)
{
    QStringDecoder decoder(codePageName());
    QString text = decoder.isValid() ? decoder.decode(bytes) : QString::fromLocal8Bit(bytes);
    // Bytes that are no character of the code page must not come back as
    // control characters.
    for (QChar &c : text)
        if (c.unicode() >= 0x80 && c.unicode() <= 0x9f)
            c = QChar(QChar::ReplacementCharacter);
    return text;
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
