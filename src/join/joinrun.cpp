#include "join/joinrun.h"

#include "platform/fileexists.h"

#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#endif

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
    m_before = identityOf(m_output);
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
    // Seen while the tool still runs: the file it is writing, if it is the
    // one at the output path. Whatever else is there later is not ours.
    m_toolsFile = heldForWriting(m_process.processId(), m_output);
#ifdef Q_OS_WIN
    m_process.kill(); // a console program has no window to be asked to close
#else
    m_process.terminate();
    m_killTimer.start();
#endif
}

QString JoinRun::details() const
{
    return m_said.join(QLatin1Char('\n'));
}

void JoinRun::readOutput()
{
    const QByteArray bytes = m_process.readAllStandardOutput();
    if (bytes.isEmpty())
        return;
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
    if (text.isEmpty())
        return;
    m_lastMessage = text;
    // The last lines are kept: a tool says why it stopped at its end.
    m_said.append(text);
    m_saidBytes += text.size() + 1;
    while (m_saidBytes > kCapturedBytes && m_said.size() > 1)
        m_saidBytes -= m_said.takeFirst().size() + 1;
}

void JoinRun::finished(int exitCode, QProcess::ExitStatus status)
{
    m_killTimer.stop();
    readOutput();
    if (!m_partialLine.isEmpty())
        takeLine(m_partialLine);
    m_partialLine.clear();

    if (m_state == State::Cancelling) {
        judgeCancel(exitCode, status);
        m_state = State::Cancelled;
    } else {
        // Joined: the tool ended normally with exit code 0 and left a file with content.
        const bool cleanEnd = status == QProcess::NormalExit && exitCode == 0;
        const Existence there = testFileExists(m_output);
        if (!cleanEnd)
            m_endReason = describeEnd(exitCode, status);
        else if (there != Existence::Present)
            m_endReason = QStringLiteral("rmeditorは終了しましたが、作成されたファイルがありません");
        else if (QFileInfo(m_output).size() <= 0)
            m_endReason = QStringLiteral("rmeditorは終了しましたが、作成されたファイルが空です");
        m_state = m_endReason.isEmpty() ? State::Succeeded : State::Failed;
    }
    emit ended(m_state);
}

void JoinRun::judgeCancel(int exitCode, QProcess::ExitStatus status)
{
    const std::optional<FileIdentity> now = identityOf(m_output);
    if (!now || now == m_before)
        return; // nothing there, or what was there before the run
    if (now == m_toolsFile && QFile::remove(m_output))
        return; // the tool's own unfinished file
    // Someone's file, or the tool's, finished or not: it stays.
    m_partialMayRemain = !(status == QProcess::NormalExit && exitCode == 0);
}

QString JoinRun::describeEnd(int exitCode, QProcess::ExitStatus status)
{
    if (status == QProcess::NormalExit)
        return QStringLiteral("rmeditorがエラーで終了しました（終了コード %1）").arg(exitCode);
#ifdef Q_OS_WIN
    return QStringLiteral("rmeditorが異常終了しました（コード 0x%1）").arg(uint(exitCode), 8, 16, QLatin1Char('0'));
#else
    // Qt reports the signal that ended the process as its exit code.
    QString name;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 32)
    if (const char *abbrev = sigabbrev_np(exitCode))
        name = QStringLiteral(" SIG") + QString::fromLatin1(abbrev);
#endif
    if (exitCode == SIGKILL)
        return QStringLiteral("rmeditorが強制終了されました（シグナル %1%2）").arg(exitCode).arg(name);
    return QStringLiteral("rmeditorが異常終了しました（シグナル %1%2）").arg(exitCode).arg(name);
#endif
}

std::optional<JoinRun::FileIdentity> JoinRun::identityOf(const QString &path)
{
#ifdef Q_OS_WIN
    HANDLE handle = CreateFileW(reinterpret_cast<LPCWSTR>(path.utf16()), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    if (!known)
        return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber, (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
#else
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return FileIdentity{quint64(st.st_dev), quint64(st.st_ino)};
#endif
}

std::optional<JoinRun::FileIdentity> JoinRun::heldForWriting(qint64 pid, const QString &path)
{
#ifdef Q_OS_LINUX
    const std::optional<FileIdentity> target = identityOf(path);
    if (!target || pid <= 0)
        return std::nullopt;
    // The tool and the processes it started (a wrapper may run the real tool).
    QList<qint64> pids{pid};
    for (qsizetype i = 0; i < pids.size() && pids.size() < 256; ++i) {
        QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pids[i]));
        if (children.open(QIODevice::ReadOnly))
            for (const QByteArray &child : children.readAll().split(' '))
                if (const qint64 id = child.trimmed().toLongLong(); id > 0)
                    pids.append(id);
    }
    for (const qint64 id : pids) {
        const QByteArray fds = QByteArray("/proc/") + QByteArray::number(id) + "/fd";
        DIR *dir = ::opendir(fds.constData());
        if (!dir)
            continue;
        bool held = false;
        while (const dirent *entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            struct stat st;
            if (::stat((fds + '/' + entry->d_name).constData(), &st) != 0
                || FileIdentity{quint64(st.st_dev), quint64(st.st_ino)} != *target)
                continue;
            // Open for writing, not merely read (an output listed as a source too).
            QFile info(QStringLiteral("/proc/%1/fdinfo/%2").arg(id).arg(QString::fromLatin1(entry->d_name)));
            if (!info.open(QIODevice::ReadOnly))
                continue;
            for (const QByteArray &line : info.readAll().split('\n'))
                if (line.startsWith("flags:") && (line.mid(6).trimmed().toInt(nullptr, 8) & O_ACCMODE) != O_RDONLY)
                    held = true;
            if (held)
                break;
        }
        ::closedir(dir);
        if (held)
            return target;
    }
    return std::nullopt;
#else
    Q_UNUSED(pid);
    Q_UNUSED(path);
    return std::nullopt; // cannot be told here: nothing is ever removed
#endif
}
