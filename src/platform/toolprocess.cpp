#include "platform/toolprocess.h"

#include <QDialog>
#include <QEventLoop>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStringDecoder>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// Shows what the tool writes to its console while it runs.
class ConsoleWindow : public QDialog
{
public:
    ConsoleWindow(QWidget *parent, const QString &title) : QDialog(parent)
    {
        setObjectName(QStringLiteral("ConsoleWindow"));
        setWindowTitle(title);
        setModal(false);
        m_text = new QPlainTextEdit(this);
        m_text->setReadOnly(true);
        m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        m_text->setMaximumBlockCount(5000);
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_text);
        resize(640, 320);
        m_flush.setSingleShot(true);
        m_flush.setInterval(100);
        connect(&m_flush, &QTimer::timeout, this, [this] { flush(); });
    }
    // Output arrives in pieces of any size, lines of any length. It is shown
    // ten times a second at most, only its last part when much arrived
    // meanwhile, and a very long line is broken, so the window never holds
    // more than a few thousand short lines, whatever the tool prints.
    void append(const QByteArray &bytes)
    {
        m_pending += bytes;
        if (m_pending.size() > kKeptPiece)
            m_pending.remove(0, m_pending.size() - kKeptPiece);
        if (!m_flush.isActive())
            m_flush.start();
    }

private:
    void flush()
    {
        const QString text = m_decoder.decode(m_pending);
        m_pending.clear();
        QString broken;
        broken.reserve(text.size() + text.size() / kLongestLine + 1);
        for (const QChar c : text) {
            if (c == QLatin1Char('\n')) {
                m_lineLength = 0;
            } else if (++m_lineLength > kLongestLine) {
                broken += QLatin1Char('\n');
                m_lineLength = 1;
            }
            broken += c;
        }
        m_text->moveCursor(QTextCursor::End);
        m_text->insertPlainText(broken);
        m_text->moveCursor(QTextCursor::End);
    }

    static constexpr qsizetype kKeptPiece = 256 * 1024;
    static constexpr qsizetype kLongestLine = 4096;
    QPlainTextEdit *m_text;
    QStringDecoder m_decoder{QStringDecoder::System}; // keeps a character split between pieces
    qsizetype m_lineLength = 0;
    QByteArray m_pending;  // arrived, not yet shown
    QTimer m_flush;
};

} // namespace

ToolRun runToolAndWait(QWidget *parent, const ToolStart &start)
{
    ToolRun run;
    QProcess process;
    process.setProgram(start.program);
    process.setArguments(start.arguments);
    process.setWorkingDirectory(start.workingDirectory);

    std::unique_ptr<ConsoleWindow> console;
#ifdef Q_OS_WIN
    const bool show = start.showConsole;
    process.setCreateProcessArgumentsModifier([show](QProcess::CreateProcessArguments *args) {
        args->flags |= CREATE_NEW_CONSOLE;
        args->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        args->startupInfo->wShowWindow = show ? SW_SHOWNORMAL : SW_HIDE;
    });
    process.setProcessChannelMode(QProcess::ForwardedChannels);
#else
    if (start.showConsole) {
        process.setProcessChannelMode(QProcess::MergedChannels);
        console = std::make_unique<ConsoleWindow>(parent, start.commandLine);
        QObject::connect(&process, &QProcess::readyReadStandardOutput, console.get(),
                         [&process, &console] { console->append(process.readAllStandardOutput()); });
    } else {
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
    }
#endif

    QEventLoop loop;
    bool ended = false;
    QObject::connect(&process, &QProcess::finished, &loop, [&] {
        ended = true;
        loop.quit();
    });
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            ended = true;
            loop.quit();
        }
    });

    process.start(QIODevice::ReadOnly);
    if (process.error() == QProcess::FailedToStart || !process.waitForStarted(-1)) {
        run.error = process.errorString();
        return run;
    }
    run.started = true;
    if (console)
        console->show();
    if (!ended)
        loop.exec();
    if (console && process.bytesAvailable())
        console->append(process.readAllStandardOutput());
    run.crashed = process.exitStatus() == QProcess::CrashExit;
    run.exitCode = process.exitCode();
    return run;
}
