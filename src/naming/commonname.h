#pragma once
#include <QString>
#include <QStringList>

// The part of an entry behind its last path separator ("/", and "\" on
// Windows); an entry without one is a file name as a whole.
QString fileNameOf(const QString &entry);
// Where that part begins.
qsizetype fileNameStart(const QString &path);

// The longest run of leading characters that the listed file names share,
// compared code unit by code unit. The head entry loses its last extension;
// the others take part with theirs. Then, once each and in this order,
// trailing digits and trailing "-", "*", "_" are stripped when asked for.
// Spaces at either end are left to the caller.
QString CommonName(const QStringList &entries, bool stripDigits, bool stripSymbols);
