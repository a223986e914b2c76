#pragma once
#include <QString>

// Moves a file to the user's trash as the desktop's own file manager does:
// GLib's GIO trash on Linux (the home trash, made when missing, or the trash
// of the file's own mount), the Recycle Bin on Windows. Independent of the
// current folder. False when no trash takes the file; the file is then where it was.
bool moveToUserTrash(const QString &path);
