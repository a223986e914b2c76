#include "platform/fileexists.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <sys/stat.h>
#endif

namespace {

QChar separator()
{
    return QDir::separator();
}

bool isHiddenName(QStringView name)
{
#ifdef Q_OS_WIN
    Q_UNUSED(name);
    return false; // Windows marks hidden files by attribute, tested separately
#else
    return name.startsWith(QLatin1Char('.'));
#endif
}

Existence statOrdinaryFile(const QString &path)
{
#ifdef Q_OS_WIN
    const DWORD attributes = GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.utf16()));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                   ? Existence::Absent
                   : Existence::Unknown;
    }
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
        return Existence::Absent;
    return Existence::Present;
#else
    const QByteArray native = QFile::encodeName(path);
    struct stat info;
    if (::stat(native.constData(), &info) != 0)
        return (errno == ENOENT || errno == ENOTDIR) ? Existence::Absent : Existence::Unknown;
    return S_ISREG(info.st_mode) ? Existence::Present : Existence::Absent;
#endif
}

} // namespace

bool wildcardMatch(const QString &pattern, const QString &name, Qt::CaseSensitivity cs)
{
    // Iterative match with one backtrack point for the last "*".
    qsizetype p = 0, n = 0, starP = -1, starN = 0;
    auto same = [cs](QChar a, QChar b) {
        return cs == Qt::CaseSensitive ? a == b : a.toCaseFolded() == b.toCaseFolded();
    };
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            starP = p++;
            starN = n;
        } else if (p < pattern.size()
                   && (pattern[p] == QLatin1Char('?') || same(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

Existence testFileExists(const QString &path)
{
    if (path.isEmpty() || path.contains(QChar(0)))
        return Existence::Unknown;

    const qsizetype cut = qMax(path.lastIndexOf(separator()), path.lastIndexOf(QLatin1Char('/')));
    const QStringView name = QStringView(path).mid(cut + 1);
    if (name.isEmpty())
        return Existence::Absent; // a path ending in a separator names a folder

    const bool wildcard = name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'));
    if (!wildcard) {
        if (isHiddenName(name))
            return Existence::Absent;
        return statOrdinaryFile(path);
    }
    const QString folder = cut < 0 ? QString() : path.left(cut + 1);
    if (folder.contains(QLatin1Char('*')) || folder.contains(QLatin1Char('?')))
        return Existence::Absent;

    const QString searchIn = folder.isEmpty() ? QStringLiteral(".") : folder;
    const QFileInfo folderInfo(searchIn);
    if (!folderInfo.exists())
        return Existence::Absent;
    if (!folderInfo.isDir() || !folderInfo.isReadable())
        return folderInfo.isDir() ? Existence::Unknown : Existence::Absent;

    // QDir::Files without QDir::Hidden leaves out hidden and system files.
    const QString pattern = name.toString();
    QDirIterator it(searchIn, QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        if (wildcardMatch(pattern, it.fileName(), kFileNameCase))
            return Existence::Present;
    }
    return Existence::Absent;
}
