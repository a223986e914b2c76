#pragma once
#include "platform/deletion.h"
#include <QByteArray>
#include <QString>
#include <QStringList>

class QWidget;

// The properties of the common dialog control. They persist from one use
// of the dialog to the next, as the control keeps them.
struct CommonDialogState {
    bool cancelError = false;
    int flags = 0;
    QString filter;   // "description|pattern;pattern|description|pattern…"
    QString initDir;
    QString fileName; // preset before, result after: one path, or folder NUL name NUL name…
};

namespace dialogflags {
constexpr int kAllowMultiSelect = 0x200;
constexpr int kExplorer = 0x80000;
} // namespace dialogflags

enum class DialogOutcome {
    Chosen,
    Cancelled, // always distinguishable from a choice, whatever cancelError says
    Failed,
};


// Everything that reaches outside the process or waits on a person.
class Platform
{
public:
    virtual ~Platform();

    // A message box with an OK button only and the program's title.
    virtual void messageBox(QWidget *parent, const QString &text) = 0;
    virtual DialogOutcome showOpen(QWidget *parent, CommonDialogState &dialog) = 0;
    virtual DialogOutcome showSave(QWidget *parent, CommonDialogState &dialog) = 0;
    // A long text to read (what the tool said), below a one-line summary,
    // scrolling in a box that fits the screen; an OK button.
    virtual void showDetails(QWidget *parent, const QString &summary, const QString &details) = 0;
    virtual void beep() = 0;
    // To the user's trash as the desktop puts files there; where no trash
    // takes the file, deleted.
    virtual Deletion deleteFile(const QString &path) = 0;
    // Opens a document with the desktop's associated program.
    virtual bool openDocument(QWidget *parent, const QString &path, const QString &workingDirectory) = 0;
    // Starts a program with a normal window; nothing waits for it.
    virtual bool startProgram(const QString &path) = 0;
    // One registry value: its type, the bytes written into a buffer of
    // `bufferSize` bytes and their count. False where the key or value
    // cannot be read, and always where there is no registry.
    virtual bool readRegistryValue(const QString &key, const QString &valueName, int bufferSize,
                                   int &type, QByteArray &buffer, int &byteCount) = 0;
};

// The program's title: caption of every message box.
inline const QString kProgramTitle = QStringLiteral("tapeknot");
