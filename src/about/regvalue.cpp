#include "about/regvalue.h"

#include "platform/ansi.h"

bool decodeRegistryValue(const QByteArray &buffer, int byteCount, int type, QString &keyVal)
{
    if (byteCount < 0 || byteCount > buffer.size())
        return false;
    const QByteArray written = buffer.left(byteCount);
    switch (type) {
    case kRegString: {
        // The terminating NUL and anything after it are not part of the text.
        const qsizetype nul = written.indexOf('\0');
        keyVal = ansi::decode(nul < 0 ? written : written.left(nul));
        break;
    }
    case kRegDword: {
        quint32 value = 0;
        for (int i = qMin<int>(4, int(written.size())) - 1; i >= 0; --i)
            value = (value << 8) | quint8(written[i]);
        keyVal = QString::number(value);
        break;
    }
    default:
        break;
    }
    return true;
}
