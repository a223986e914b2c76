#pragma once
#include "join/joinjob.h"
#include "platform/platform.h"

#include <QList>
#include <QMap>
#include <QSet>
#include <QStringList>
#include <functional>

// A scripted platform: dialog answers are queued in advance, every call is
// recorded, and nothing modal ever appears. The tool is still started as a
// real process, so the join path is exercised for real.
class FakePlatform : public Platform
{
public:
    struct DialogCall {
        bool save = false;
        CommonDialogState state; // the properties as the dialog saw them
    };
    struct DialogAnswer {
        DialogOutcome outcome = DialogOutcome::Cancelled;
        QString fileName;
    };
    struct RegistryValue {
        int type = 1;
        QByteArray bytes;
    };

    // Queues a chosen file (or a multiple selection in the control's form).
    void choose(const QString &fileName) { dialogAnswers.append({DialogOutcome::Chosen, fileName}); }
    void cancel() { dialogAnswers.append({DialogOutcome::Cancelled, {}}); }

    void messageBox(QWidget *parent, const QString &text) override;
    DialogOutcome showOpen(QWidget *parent, CommonDialogState &dialog) override;
    DialogOutcome showSave(QWidget *parent, CommonDialogState &dialog) override;
    void showDetails(QWidget *, const QString &summary, const QString &text) override { details.append(summary + QLatin1Char('\n') + text); }
    void beep() override { ++beeps; }
    Deletion deleteFile(const QString &path) override;
    bool openDocument(QWidget *parent, const QString &path, const QString &workingDirectory) override;
    bool startProgram(const QString &path) override;
    bool readRegistryValue(const QString &key, const QString &valueName, int bufferSize, int &type,
                           QByteArray &buffer, int &byteCount) override;

    QList<DialogAnswer> dialogAnswers;
    // Runs once on the next dialog's properties as it closes, as a dialog
    // of another kind leaves them behind.
    std::function<void(CommonDialogState &)> leaveBehind;
    QList<DialogCall> dialogCalls;
    QStringList messages;
    std::function<void(const QString &)> onMessage;
    int beeps = 0;
    QStringList deleteRequests;
    QSet<QString> undeletable;
    QSet<QString> untrashable; // deleted for good, as where no trash takes them
    QSet<QString> goneBeforeDeletion; // removed by someone else just before the deletion
    QStringList details;        // summary, a line break, the text
    QList<JoinRequest> toolStarts;        // every join the window started, as it asked for it
    std::function<void()> whileToolRuns; // called from the event loop once the tool runs
    int whileToolRunsDelayMs = 100;
    QStringList openedDocuments;
    bool documentsOpen = true; // false: as on a desktop without a program to open them
    QStringList startedPrograms;
    bool startSucceeds = true;
    QMap<QString, RegistryValue> registry; // "key|value name"

private:
    DialogOutcome answer(bool save, CommonDialogState &dialog);
};
