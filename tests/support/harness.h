#pragma once
#include "app/form1.h"
#include "support/fakeplatform.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QUrl>
#include <memory>

// A main window over the fake platform, with its program folder (and so its
// tapeknot.ini) in a temporary folder of its own.
struct Harness {
    Harness();
    QTemporaryDir programDir;
    QTemporaryDir configHome; // the user's configuration folder, kept out of the real one
    FakePlatform platform;
    std::unique_ptr<Form1> form;

    QString dir() const { return programDir.path(); }
    QString iniPath() const { return programDir.filePath(QStringLiteral("tapeknot.ini")); }
    void writeIni(const QByteArray &content);
    QByteArray readIni() const;

    // Creates the window and runs its start-up. Without a stored tool
    // location the start-up asks for one; that dialog is cancelled unless
    // an answer was queued.
    Form1 &start();
    // A started window with a tool location stored, on the run page.
    Form1 &startWithTool(const QString &toolPath = QStringLiteral("/opt/rm/rmeditor"));

    // Writes a file of `content` under the temporary folder and returns its path.
    QString makeFile(const QString &relative, const QByteArray &content = "x");
};

#ifdef STANDIN_TOOL
// The stand-in tool as the program names it: on Windows (under Wine) the
// build's Linux path lies on drive Z:.
inline QString standinTool()
{
    QString path = QStringLiteral(STANDIN_TOOL);
#ifdef Q_OS_WIN
    if (path.startsWith(QLatin1Char('/')))
        path = QStringLiteral("Z:") + path;
    path = QDir::toNativeSeparators(path);
#endif
    return path;
}
#endif

// A drop's data with local files as URLs.
std::unique_ptr<QMimeData> fileDrop(const QStringList &paths);

// Sends a real drag-enter, drag-move and drop with `data` to `target`.
// Returns whether the drop was accepted.
bool dropOn(QWidget *target, const QMimeData *data);
