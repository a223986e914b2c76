#include "platform/commondialog.h"

QList<QStringList> dialogFilterPatterns(const QString &filter)
{
    QList<QStringList> patterns;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 1; i < parts.size(); i += 2)
        patterns.append(parts[i].split(QLatin1Char(';'), Qt::SkipEmptyParts));
    return patterns;
}

QStringList dialogNameFilters(const QString &filter)
{
    QStringList filters;
    const QStringList parts = filter.split(QLatin1Char('|'));
    const QList<QStringList> patterns = dialogFilterPatterns(filter);
    for (qsizetype i = 0; i < patterns.size(); ++i)
        filters.append(parts[i * 2] + QStringLiteral(" (") + patterns[i].join(QLatin1Char(' '))
                       + QLatin1Char(')'));
    return filters;
}
