#pragma once
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// Whether a name is taken, as a directory search for one path finds it:
// every entry but a folder counts (on Windows hidden and system files do
// not). "*" and "?" in the file name match like wildcards ("[" and "]" are
// ordinary characters); the folder part is taken literally, and a file of
// the exact name is always taken. A path costs one stat-like call; only a
// wildcard lists the folder.
// Whether file names differ by letter case on this platform.
#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity kFileNameCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kFileNameCase = Qt::CaseSensitive;
#endif

enum class Existence {
    Absent,
    Present,
    Unknown, // the question could not be answered (no access, invalid path, I/O error)
};

Existence testFileExists(const QString &path);

// Convenience for callers that treat an unanswerable question as "absent".
inline bool FileExists(const QString &path)
{
    return testFileExists(path) == Existence::Present;
}

// One reading of a folder, to answer many questions about names in it
// (the sequential-name search) without reading it again.
class FolderListing
{
public:
    explicit FolderListing(const QString &folder); // with or without its trailing separator
    // Whether `name` (a file name, wildcards allowed) is taken in the folder.
    Existence test(const QString &name) const;

private:
    QStringList m_names;  // every entry but folders
    QSet<QString> m_set;
    mutable QHash<qsizetype, QHash<QString, QStringList>> m_byEnding; // names by their last n characters
    bool m_readable = true;
};

// Matches a file name against a pattern in which "*" is any run of
// characters and "?" any one character; nothing else is special.
bool wildcardMatch(const QString &pattern, const QString &name, Qt::CaseSensitivity cs);
