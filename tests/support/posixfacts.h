#pragma once
// Facts of the system a test runs on that Windows lacks or has otherwise.
#include <QFile>
#include <QString>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#else
#include <io.h> // chmod, which changes nothing of a folder there
#endif

// Whether a test can take away its own right to write into a folder: not
// as root, who writes anywhere, and not on Windows, where a folder's mode
// bits stop no one.
inline bool foldersCanBeLocked()
{
#ifdef _WIN32
    return false;
#else
    return geteuid() != 0;
#endif
}

// A FIFO at `path`; false where the system has none (Windows).
inline bool makeFifo(const QString &path)
{
#ifdef _WIN32
    Q_UNUSED(path);
    return false;
#else
    return mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
#endif
}
