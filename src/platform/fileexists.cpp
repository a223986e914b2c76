#include "platform/fileexists.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace {

QChar separator()
{
    return QDir::separator();
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
    // Every entry but a folder takes the name: dot-files, FIFOs, sockets,
    // devices, and symbolic links unless they lead to a folder.
    const QByteArray native = QFile::encodeName(path);
    struct stat info;
    if (::lstat(native.constData(), &info) != 0)
        return (errno == ENOENT || errno == ENOTDIR) ? Existence::Absent : Existence::Unknown;
    if (S_ISLNK(info.st_mode) && ::stat(native.constData(), &info) != 0)
        return Existence::Present; // a dangling link: creating the name would follow it
    return S_ISDIR(info.st_mode) ? Existence::Absent : Existence::Present;
#endif
}

QString foldedCase(const QString &text)
{
    return kFileNameCase == Qt::CaseSensitive ? text : text.toCaseFolded();
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

    // A file of the exact name is taken whatever the name holds.
    const Existence literal = statOrdinaryFile(path);
    const bool wildcard = name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'));
    if (!wildcard || literal != Existence::Absent)
        return literal;
    const QString folder = cut < 0 ? QString() : path.left(cut + 1);
    return FolderListing(folder).test(name.toString());
}

FolderListing::FolderListing(const QString &folder)
{
    // The folder part is taken literally, "*" and "?" included.
    const QString searchIn = folder.isEmpty() ? QStringLiteral(".") : folder;
#ifdef Q_OS_WIN
    const QFileInfo folderInfo(searchIn);
    if (!folderInfo.exists() || !folderInfo.isDir())
        return;
    if (!folderInfo.isReadable()) {
        m_readable = false;
        return;
    }
    QDirIterator it(searchIn, QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        m_names.append(it.fileName());
    }
#else
    const QByteArray native = QFile::encodeName(searchIn);
    DIR *dir = ::opendir(native.constData());
    if (!dir) {
        m_readable = errno == ENOENT || errno == ENOTDIR; // no folder: nothing is taken in it
        return;
    }
    while (const dirent *entry = ::readdir(dir)) {
        const char *n = entry->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        bool folderEntry = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat info;
            folderEntry = ::fstatat(dirfd(dir), n, &info, 0) == 0 && S_ISDIR(info.st_mode);
        }
        if (!folderEntry)
            m_names.append(QFile::decodeName(n));
    }
    ::closedir(dir);
#endif
    for (const QString &n : std::as_const(m_names))
        m_set.insert(foldedCase(n));
}

Existence FolderListing::test(const QString &name) const
{
    if (!m_readable)
        return Existence::Unknown;
    if (m_set.contains(foldedCase(name)))
        return Existence::Present;
    const qsizetype lastWildcard = qMax(name.lastIndexOf(QLatin1Char('*')), name.lastIndexOf(QLatin1Char('?')));
    if (lastWildcard < 0)
        return Existence::Absent;
    // Only names that end in the pattern's literal tail can match; names
    // are grouped by their ending once per tail length, so that a search
    // through thousands of candidates stays one pass over the folder.
    const QString tail = name.mid(lastWildcard + 1);
    const QStringList *candidates = &m_names;
    if (!tail.isEmpty()) {
        auto group = m_byEnding.find(tail.size());
        if (group == m_byEnding.end()) {
            group = m_byEnding.insert(tail.size(), {});
            for (const QString &entry : m_names)
                if (entry.size() >= tail.size())
                    (*group)[foldedCase(entry.right(tail.size()))].append(entry);
        }
        const auto names = group->constFind(foldedCase(tail));
        if (names == group->cend())
            return Existence::Absent;
        candidates = &*names;
    }
    for (const QString &entry : *candidates)
        if (wildcardMatch(name, entry, kFileNameCase))
            return Existence::Present;
    return Existence::Absent;
}
