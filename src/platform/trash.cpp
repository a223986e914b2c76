// GIO's headers come first: they use words that Qt's headers define as macros.
#ifndef _WIN32
#include <gio/gio.h>
#endif

#include "platform/trash.h"

#include <QDir>
#include <QFile>

#ifdef _WIN32

#include <QFileInfo>

#include <windows.h>
#include <shellapi.h>

namespace {

// The older shell call, which Windows still honours and Wine implements
// (its IFileOperation does not): FOF_ALLOWUNDO makes a deletion a move to
// the Recycle Bin, and without it no file is touched.
bool recycle(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile() && !info.isSymLink())
        return false;
    // A full path (the call takes no current folder), ending in two nulls.
    std::wstring from = QDir::toNativeSeparators(info.absoluteFilePath()).toStdWString();
    from.append(2, L'\0');
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    return SHFileOperationW(&operation) == 0 && !operation.fAnyOperationsAborted && !QFileInfo::exists(path);
}

} // namespace

bool moveToUserTrash(const QString &path)
{
    // The shell's own file operation first; where it fails, the older call.
    return QFile::moveToTrash(path) || recycle(path);
}

#else

bool moveToUserTrash(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    GFile *file = g_file_new_for_path(name.constData());
    GError *error = nullptr;
    const bool trashed = g_file_trash(file, nullptr, &error);
    if (error)
        g_error_free(error);
    g_object_unref(file);
    return trashed;
}

#endif
