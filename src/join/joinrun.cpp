#include "join/joinrun.h"

#include "platform/fileexists.h"

#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

JoinRun::JoinRun(const QString &output, QObject *parent) : QObject(parent), m_output(output)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_killTimer.setSingleShot(true);
    m_killTimer.setInterval(kKillAfterMs);
    connect(&m_killTimer, &QTimer::timeout, &m_process, &QProcess::kill);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &JoinRun::readOutput);
    connect(&m_process, &QProcess::finished, this, &JoinRun::finished);
}

JoinRun::~JoinRun()
{
    // Gone with its window: the tool is ended without telling anyone.
    disconnect(&m_process, nullptr, this, nullptr);
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(kKillAfterMs);
    }
}

bool JoinRun::start(const ToolStart &start)
{
    m_outputExisted = testFileExists(m_output) != Existence::Absent;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("RMEDITOR_PROGRESS"), QStringLiteral("1"));
    m_process.setProcessEnvironment(environment);
    m_process.setProgram(start.program);
    m_process.setArguments(start.arguments);
    m_process.setWorkingDirectory(start.workingDirectory);
    m_process.start(QIODevice::ReadOnly);
    if (!m_process.waitForStarted(-1)) {
        m_startError = m_process.errorString();
        m_state = State::Failed;
        return false;
    }
    m_state = State::Running;
    return true;
}

void JoinRun::cancel()
{
    if (m_state != State::Running)
        return;
    m_state = State::Cancelling;
#ifdef Q_OS_WIN
    m_process.kill(); // a console program has no window to be asked to close
#else
    m_process.terminate();
    m_killTimer.start();
#endif
}

QString JoinRun::capturedText() const
{
    QStringDecoder decoder(QStringDecoder::System);
    return decoder.decode(m_captured);
}

void JoinRun::readOutput()
{
    const QByteArray bytes = m_process.readAllStandardOutput();
    if (bytes.isEmpty())
        return;
    m_captured += bytes;
    if (m_captured.size() > kCapturedBytes)
        m_captured.remove(0, m_captured.size() - kCapturedBytes);
    emit outputArrived(bytes);

    // Whole lines only, so that a character split between two reads stays whole.
    m_partialLine += bytes;
    qsizetype start = 0;
    for (qsizetype nl; (nl = m_partialLine.indexOf('\n', start)) >= 0; start = nl + 1)
        takeLine(m_partialLine.mid(start, nl - start));
    m_partialLine.remove(0, start);
    if (m_partialLine.size() > kCapturedBytes) // a line without end: keep its last part
        m_partialLine.remove(0, m_partialLine.size() - kCapturedBytes);
}

void JoinRun::takeLine(const QByteArray &raw)
{
    const QByteArray line = raw.endsWith('\r') ? raw.chopped(1) : raw;
    if (line.startsWith("progress ")) {
        bool ok = false;
        const int perMille = line.mid(9).trimmed().toInt(&ok);
        if (ok && perMille >= 0 && perMille <= 1000) {
            emit progressed(perMille);
            return;
        }
    }
    const QString text = QString(m_decoder.decode(line)).trimmed();
    if (!text.isEmpty())
        m_lastMessage = text;
}

void JoinRun::finished(int exitCode, QProcess::ExitStatus status)
{
    m_killTimer.stop();
    readOutput();
    if (!m_partialLine.isEmpty())
        takeLine(m_partialLine);
    m_partialLine.clear();

    if (m_state == State::Cancelling) {
        // The path named no file before the run: what the tool left there goes.
        if (!m_outputExisted && testFileExists(m_output) == Existence::Present)
            QFile::remove(m_output);
        m_state = State::Cancelled;
    } else {
        // Joined: the tool ended normally with exit code 0 and left a file with content.
        const bool joined = status == QProcess::NormalExit && exitCode == 0
                            && testFileExists(m_output) == Existence::Present && QFileInfo(m_output).size() > 0;
        m_state = joined ? State::Succeeded : State::Failed;
    }
    emit ended(m_state);
}
