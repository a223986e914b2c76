#include "naming/commonname.h"

#include <QDir>

namespace {

bool isTrimmedDigit(QChar c)
{
    // ASCII digits and the full-width digits of a Japanese system.
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'\xFF10' && u <= u'\xFF19');
}

bool isTrimmedSymbol(QChar c)
{
    return c == QLatin1Char('-') || c == QLatin1Char('*') || c == QLatin1Char('_');
}

} // namespace

qsizetype fileNameStart(const QString &path)
{
    return qMax(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QDir::separator())) + 1;
}

QString fileNameOf(const QString &entry)
{
    return entry.mid(fileNameStart(entry));
}

QString CommonName(const QStringList &entries, bool stripDigits, bool stripSymbols)
{
    if (entries.isEmpty())
        return {};

    const QString head = fileNameOf(entries.front());
    const qsizetype dot = head.lastIndexOf(QLatin1Char('.'));
    QStringView stem = dot < 0 ? QStringView(head) : QStringView(head).left(dot);

    for (qsizetype i = 1; i < entries.size() && !stem.isEmpty(); ++i) {
        const QString &entry = entries[i];
        const qsizetype start = entry.lastIndexOf(QDir::separator()) + 1;
        const qsizetype limit = qMin(stem.size(), entry.size() - start);
        const QChar *name = entry.constData() + start;
        qsizetype k = 0;
        while (k < limit && stem[k] == name[k])
            ++k;
        stem = stem.left(k);
    }

    if (stripDigits)
        while (!stem.isEmpty() && isTrimmedDigit(stem.back()))
            stem.chop(1);
    if (stripSymbols)
        while (!stem.isEmpty() && isTrimmedSymbol(stem.back()))
            stem.chop(1);
    return stem.toString();
}
