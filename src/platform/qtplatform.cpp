#include "platform/qtplatform.h"

#include "platform/fileexists.h"

#include "platform/commondialog.h"
#include "platform/trash.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QVBoxLayout>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QAbstractItemView>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

#include <algorithm>

#ifdef Q_OS_WIN
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

// The open dialog, taking a selection of several files as the user made it
// in the list: the dialog's own way re-reads the names from its text box,
// where a name holding a quote cannot be told apart from the quoting.
class OpenDialog : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;
    QStringList picked;

    void accept() override
    {
        if (fileMode() == QFileDialog::ExistingFiles) {
            const QStringList chosen = listSelection();
            const bool allFiles = std::all_of(chosen.begin(), chosen.end(),
                                              [](const QString &path) { return QFileInfo(path).isFile(); });
            if (chosen.size() > 1 && allFiles) {
                picked = chosen;
                QDialog::accept();
                return;
            }
        }
        QFileDialog::accept();
    }

private:
    QStringList listSelection() const
    {
        QStringList paths;
        const auto *view = findChild<QAbstractItemView *>(QStringLiteral("listView"));
        if (!view || !view->selectionModel())
            return paths;
        for (const QModelIndex &index : view->selectionModel()->selectedRows())
            if (index.parent() == view->rootIndex())
                paths.append(index.data(QFileSystemModel::FilePathRole).toString());
        return paths;
    }
};

QString dialogDirectory(const CommonDialogState &dialog)
{
    const QFileInfo preset(dialog.fileName);
    if (!dialog.fileName.isEmpty() && preset.isAbsolute())
        return preset.absolutePath();
    return dialog.initDir;
}

void setupDialog(QFileDialog &box, const CommonDialogState &dialog)
{
    const QStringList filters = dialogNameFilters(dialog.filter);
    if (!filters.isEmpty())
        box.setNameFilters(filters);
    // The filter's description alone, as the dialog of the original shows it.
    box.setOption(QFileDialog::HideNameFilterDetails, true);
    // A filter of exact names (no wildcard) lists only that name as the file
    // system spells it, not also its other-case twins.
    if (kFileNameCase == Qt::CaseSensitive && !filters.isEmpty()
        && !dialog.filter.contains(QLatin1Char('*')) && !dialog.filter.contains(QLatin1Char('?')))
        box.setFilter(box.filter() | QDir::CaseSensitive);
    const QString folder = dialogDirectory(dialog);
    if (!folder.isEmpty())
        box.setDirectory(folder);
    if (!dialog.fileName.isEmpty())
        box.selectFile(QFileInfo(dialog.fileName).fileName());
}

} // namespace

void QtPlatform::messageBox(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, kProgramTitle, text, QMessageBox::Ok, parent);
    box.exec();
}

DialogOutcome QtPlatform::showOpen(QWidget *parent, CommonDialogState &dialog)
{
    OpenDialog box(parent);
    box.setAcceptMode(QFileDialog::AcceptOpen);
    const bool multiple = dialog.flags & dialogflags::kAllowMultiSelect;
    box.setFileMode(multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    setupDialog(box, dialog);
    if (box.exec() != QDialog::Accepted)
        return DialogOutcome::Cancelled;
    const QStringList chosen = box.picked.isEmpty() ? box.selectedFiles() : box.picked;
    if (chosen.isEmpty())
        return DialogOutcome::Cancelled;
    if (chosen.size() == 1 || !multiple) { // two quoted names typed where one is asked for: the first
        dialog.fileName = QDir::toNativeSeparators(chosen.front());
    } else {
        // Folder, NUL, then the names separated by NUL, as the control reports
        // it; a file from another folder (typed with its path) keeps its whole path.
        const QString folder = QFileInfo(chosen.front()).absolutePath();
        QString result = QDir::toNativeSeparators(folder);
        for (const QString &path : chosen) {
            const QFileInfo info(path);
            result += QChar(0) + (info.absolutePath() == folder ? info.fileName()
                                                                  : QDir::toNativeSeparators(info.absoluteFilePath()));
        }
        dialog.fileName = result;
    }
    return DialogOutcome::Chosen;
}

DialogOutcome QtPlatform::showSave(QWidget *parent, CommonDialogState &dialog)
{
    QFileDialog box(parent);
    box.setAcceptMode(QFileDialog::AcceptSave);
    box.setFileMode(QFileDialog::AnyFile);
    // The program tests for an existing file itself and asks again.
    box.setOption(QFileDialog::DontConfirmOverwrite, true);
    setupDialog(box, dialog);
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
        return DialogOutcome::Cancelled;
    dialog.fileName = QDir::toNativeSeparators(box.selectedFiles().front());
    return DialogOutcome::Chosen;
}

void QtPlatform::beep()
{
    QApplication::beep();
}

Deletion QtPlatform::deleteFile(const QString &path)
{
    // To the desktop's trash where there is one, so a mistake can be undone.
    if (moveToUserTrash(path))
        return Deletion::Trashed;
    if (QFile::remove(path))
        return Deletion::Deleted;
    return Deletion::Failed;
}

void QtPlatform::showDetails(QWidget *parent, const QString &summary, const QString &details)
{
    QDialog box(parent);
    box.setWindowTitle(kProgramTitle);
    auto *layout = new QVBoxLayout(&box);
    auto *headline = new QLabel(summary, &box);
    headline->setWordWrap(true);
    headline->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *text = new QPlainTextEdit(details, &box);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    layout->addWidget(headline);
    layout->addWidget(text, 1);
    layout->addWidget(buttons);
    // Big enough to read, never beyond the screen: the text scrolls.
    QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    box.resize(qMin(720, room.width() * 9 / 10), qMin(480, room.height() * 8 / 10));
    box.setMaximumSize(room.size());
    // The tool's last words in sight, where it says why it stopped.
    text->moveCursor(QTextCursor::End);
    text->moveCursor(QTextCursor::StartOfLine);
    box.exec();
}

bool QtPlatform::openDocument(QWidget *parent, const QString &path, const QString &workingDirectory)
{
#ifdef Q_OS_WIN
    const HWND owner = parent ? reinterpret_cast<HWND>(parent->winId()) : nullptr;
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(owner, L"open", reinterpret_cast<LPCWSTR>(path.utf16()), nullptr,
                      reinterpret_cast<LPCWSTR>(workingDirectory.utf16()), SW_SHOWNORMAL));
    return result > 32;
#else
    Q_UNUSED(parent);
    Q_UNUSED(workingDirectory);
    if (!QFileInfo::exists(path))
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
#endif
}

bool QtPlatform::startProgram(const QString &path)
{
    return QProcess::startDetached(path, {});
}

bool QtPlatform::readRegistryValue(const QString &key, const QString &valueName, int bufferSize,
                                   int &type, QByteArray &buffer, int &byteCount)
{
#ifdef Q_OS_WIN
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, reinterpret_cast<LPCWSTR>(key.utf16()), 0, KEY_READ,
                      &handle) != ERROR_SUCCESS)
        return false;
    buffer = QByteArray(bufferSize, '\0');
    DWORD valueType = 0;
    DWORD size = DWORD(bufferSize);
    const QByteArray name = valueName.toLocal8Bit();
    const LONG status = RegQueryValueExA(handle, name.constData(), nullptr, &valueType,
                                         reinterpret_cast<LPBYTE>(buffer.data()), &size);
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS)
        return false;
    type = int(valueType);
    byteCount = int(size);
    return true;
#else
    Q_UNUSED(key);
    Q_UNUSED(valueName);
    Q_UNUSED(bufferSize);
    Q_UNUSED(type);
    Q_UNUSED(buffer);
    Q_UNUSED(byteCount);
    return false;
#endif
}
