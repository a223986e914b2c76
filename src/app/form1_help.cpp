// The Help menu: the Readme beside the program and the About box.
#include "app/form1.h"

#include "app/frmabout.h"
#include "app/twips.h"

#include "join/commandline.h"
#include "platform/ansi.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QStringDecoder>
#include <QVBoxLayout>

namespace {

// The first candidate that is a file, else the first candidate.
QString firstExisting(const QStringList &candidates)
{
    for (const QString &path : candidates)
        if (QFileInfo(path).isFile())
            return QDir::toNativeSeparators(QDir::cleanPath(path));
    return candidates.front();
}

} // namespace

QString Form1::readmePath() const
{
    const QString sep = QDir::separator();
    return firstExisting({m_programDir + sep + QStringLiteral("Readme.txt"),
                          m_programDir + QStringLiteral("/../share/doc/tapeknot/Readme.txt")});
}

QString Form1::bundledJoiner() const
{
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("rmeditor.exe");
#else
    const QString name = QStringLiteral("rmeditor");
#endif
    const QString found = firstExisting({m_programDir + QDir::separator() + name,
                                         installedToolFolder(m_programDir) + QLatin1Char('/') + name});
    return QFileInfo(found).isFile() ? found : QString();
}

void Form1::ShowReadme()
{
    // A missing Readme shows nothing. Where the desktop has no program to
    // open it, it is shown in a window of our own.
    const QString path = readmePath();
    if (m_platform.openDocument(this, path, m_programDir) || !QFileInfo(path).isFile())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = ansi::decode(bytes);
    auto *window = new QDialog(this);
    window->setObjectName(QStringLiteral("ReadmeWindow"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(QFileInfo(path).fileName());
    auto *view = new QPlainTextEdit(text, window);
    view->setReadOnly(true);
    view->setFont(gothic12());
    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    // 640×480 on a screen of 96 DPI; as large for the eye on any other.
    window->resize(twips::toPixels(9600, window), twips::toPixels(7200, window));
    window->show();
}

void Form1::ShowAbout()
{
    frmAbout box(m_platform, windowIcon(), this); // in front of the window, even a topmost one
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}
