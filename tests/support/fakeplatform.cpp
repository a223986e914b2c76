#include "support/fakeplatform.h"


#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <utility>

void FakePlatform::messageBox(QWidget *, const QString &text)
{
    messages.append(text);
    if (onMessage)
        onMessage(text);
}

DialogOutcome FakePlatform::answer(bool save, CommonDialogState &dialog)
{
    dialogCalls.append({save, dialog});
    if (leaveBehind)
        std::exchange(leaveBehind, {})(dialog);
    if (dialogAnswers.isEmpty())
        return DialogOutcome::Cancelled;
    const DialogAnswer next = dialogAnswers.takeFirst();
    if (next.outcome == DialogOutcome::Chosen)
        dialog.fileName = next.fileName;
    return next.outcome;
}

DialogOutcome FakePlatform::showOpen(QWidget *, CommonDialogState &dialog)
{
    return answer(false, dialog);
}

DialogOutcome FakePlatform::showSave(QWidget *, CommonDialogState &dialog)
{
    return answer(true, dialog);
}

Deletion FakePlatform::deleteFile(const QString &path)
{
    deleteRequests.append(path);
    if (goneBeforeDeletion.contains(path))
        QFile::remove(path);
    if (undeletable.contains(path) || !QFile::remove(path))
        return Deletion::Failed;
    return untrashable.contains(path) ? Deletion::Deleted : Deletion::Trashed;
}

bool FakePlatform::openDocument(QWidget *, const QString &path, const QString &)
{
    openedDocuments.append(path);
    return documentsOpen && QFileInfo::exists(path);
}

bool FakePlatform::startProgram(const QString &path)
{
    startedPrograms.append(path);
    return startSucceeds;
}

bool FakePlatform::readRegistryValue(const QString &key, const QString &valueName, int bufferSize,
                                     int &type, QByteArray &buffer, int &byteCount)
{
    const auto it = registry.constFind(key + QLatin1Char('|') + valueName);
    if (it == registry.constEnd())
        return false;
    type = it->type;
    byteCount = int(it->bytes.size());
    if (byteCount > bufferSize)
        return false; // as the system says when the value does not fit the buffer
    buffer = QByteArray(bufferSize, '\0');
    buffer.replace(0, it->bytes.size(), it->bytes);
    return true;
}
