#pragma once
#include <QString>

// Whether a directory search for one path finds an ordinary file: folders,
// hidden files and system files do not count, and "*" and "?" in the file
// name match like wildcards ("[" and "]" are ordinary characters). A path
// without wildcards costs one stat-like call; only a wildcard lists a folder.
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

// Matches a file name against a pattern in which "*" is any run of
// characters and "?" any one character; nothing else is special.
bool wildcardMatch(const QString &pattern, const QString &name, Qt::CaseSensitivity cs);
