// GIO's headers come first: they use words that Qt's headers define as macros.
#ifndef _WIN32
#include <gio/gio.h>
#endif

#include "platform/trash.h"

#include <QFile>

#ifdef _WIN32

bool moveToUserTrash(const QString &path)
{
    return QFile::moveToTrash(path); // the Recycle Bin, through the shell's own file operation
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
