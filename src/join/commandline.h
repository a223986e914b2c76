#pragma once
#include <QString>
#include <QStringList>

// The tool's arguments as a list handed straight to the process: "-i" and a
// path per source in list order, then "-o" and the output path.
QStringList joinArguments(const QStringList &sources, const QString &output);

// The same arguments as one text, as the tool's command line shows them:
// ` -i "source"` per source, then ` -o "output"`. Nothing is escaped.
QString joinArgumentText(const QStringList &sources, const QString &output);

// The tool location taken apart. On Windows the drive is the text in front
// of the first "\" at or after the third character; elsewhere there is none.
struct ToolLocation {
    QString drive;
    QString folder;    // the text in front of the last separator ("/" for a file in the root)
    QString fileName;  // the text behind it
    bool usable = false; // a folder and a file name could both be taken
};

ToolLocation splitToolLocation(const QString &toolPath);

// The command line as the user would read it: the tool's file name followed
// directly by the argument text.
QString joinCommandLine(const ToolLocation &tool, const QStringList &sources, const QString &output);

// Where an installation puts the bundled joiner: `libexec/tapeknot` beside
// the program's `bin` folder.
QString installedToolFolder(const QString &programDir);
