#pragma once
#include "platform/platform.h"

// The platform as the program uses it: Qt's dialogs and processes, and the
// Windows facilities where they exist.
class QtPlatform : public Platform
{
public:
    void messageBox(QWidget *parent, const QString &text) override;
    DialogOutcome showOpen(QWidget *parent, CommonDialogState &dialog) override;
    DialogOutcome showSave(QWidget *parent, CommonDialogState &dialog) override;
    void showDetails(QWidget *parent, const QString &summary, const QString &details) override;
    void beep() override;
    Deletion deleteFile(const QString &path) override;
    bool openDocument(QWidget *parent, const QString &path, const QString &workingDirectory) override;
    bool startProgram(const QString &path) override;
    bool readRegistryValue(const QString &key, const QString &valueName, int bufferSize, int &type,
                           QByteArray &buffer, int &byteCount) override;
};
