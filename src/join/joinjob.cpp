#include "join/joinjob.h"

#include "join/commandline.h"
#include "platform/fileexists.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSet>

#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#endif

JoinJob::JoinJob(const JoinRequest &request, SourceDeleter deleteSource, QObject *parent)
    : QObject(parent), m_request(request), m_deleteSource(std::move(deleteSource))
{
    m_killTimer.setSingleShot(true);
    m_killTimer.setInterval(kKillAfterMs);
    connect(&m_killTimer, &QTimer::timeout, &m_process, &QProcess::kill);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, [this] { read(QProcess::StandardOutput); });
    connect(&m_process, &QProcess::readyReadStandardError, this, [this] { read(QProcess::StandardError); });
    connect(&m_process, &QProcess::started, this, &JoinJob::started);
    connect(&m_process, &QProcess::errorOccurred, this, &JoinJob::failedToStart);
    connect(&m_process, &QProcess::finished, this, &JoinJob::finished);
}

JoinJob::~JoinJob()
{
    // Gone with its window: the tool is ended without telling anyone.
    disconnect(&m_process, nullptr, this, nullptr);
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(kKillAfterMs);
        removeLeftPartial();
    }
}

void JoinJob::setState(State state)
{
    m_state = state;
    emit stateChanged(state);
}

void JoinJob::start()
{
    if (m_state != State::Ready)
        return;
    m_before = identityOf(m_request.output);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("RMEDITOR_PROGRESS"), QStringLiteral("1"));
    m_process.setProcessEnvironment(environment);
    m_process.setProgram(m_request.program);
    m_process.setArguments(joinArguments(m_request.sources, m_request.output));
    m_process.setWorkingDirectory(m_request.workingDirectory);
    setState(State::Starting);
    m_process.start(QIODevice::ReadOnly);
}

void JoinJob::started()
{
    if (m_state == State::Starting)
        setState(State::Running);
}

void JoinJob::failedToStart(QProcess::ProcessError error)
{
    if (error != QProcess::FailedToStart || m_state != State::Starting)
        return; // a crash or kill is judged when the process has finished
    m_startError = m_process.errorString();
    setState(State::StartFailed);
}

void JoinJob::cancel()
{
    if (m_state != State::Running)
        return;
    setState(State::Cancelling);
    // Seen while the tool still runs: the file it is writing, if it is the
    // one at the output path. Whatever else is there later is not ours.
    m_toolsFile = heldForWriting(m_process.processId(), m_request.output);
#ifdef Q_OS_WIN
    m_process.kill(); // a console program has no window to be asked to close
#else
    m_process.terminate();
    m_killTimer.start();
#endif
}

QString JoinJob::details() const
{
    return m_said.join(QLatin1Char('\n'));
}

QString JoinJob::lastMessage() const
{
    return m_lastError.isEmpty() ? m_lastMessage : m_lastError;
}

void JoinJob::read(QProcess::ProcessChannel channel)
{
    m_process.setReadChannel(channel);
    const QByteArray bytes = m_process.readAll();
    if (bytes.isEmpty())
        return;
    emit outputArrived(bytes);

    // Whole lines only, so that a character split between two reads stays whole.
    const bool error = channel == QProcess::StandardError;
    Channel &from = error ? m_err : m_out;
    from.partialLine += bytes;
    qsizetype start = 0;
    for (qsizetype nl; (nl = from.partialLine.indexOf('\n', start)) >= 0; start = nl + 1)
        takeLine(from.partialLine.mid(start, nl - start), error, from.decoder);
    from.partialLine.remove(0, start);
    if (from.partialLine.size() > kCapturedBytes) // a line without end: keep its last part
        from.partialLine.remove(0, from.partialLine.size() - kCapturedBytes);
}

void JoinJob::takeLine(const QByteArray &raw, bool error, QStringDecoder &decoder)
{
    const QByteArray line = raw.endsWith('\r') ? raw.chopped(1) : raw;
    if (!error && line.startsWith("partial ")) {
        notePartial(line.mid(8).trimmed());
        return;
    }
    if (line.startsWith("progress ")) {
        bool ok = false;
        const int perMille = line.mid(9).trimmed().toInt(&ok);
        if (ok && perMille >= 0 && perMille <= 1000) {
            emit progressed(perMille);
            return;
        }
    }
    const QString text = QString(decoder.decode(line)).trimmed();
    if (text.isEmpty())
        return;
    (error ? m_lastError : m_lastMessage) = text;
    // The last lines are kept: a tool says why it stopped at its end.
    m_said.append(text);
    m_saidBytes += text.size() + 1;
    while (m_saidBytes > kCapturedBytes && m_said.size() > 1)
        m_saidBytes -= m_said.takeFirst().size() + 1;
}

// The joiner's temporary beside the output: a bare name of its own pattern
// (".rme" PID "-" N ".tmp"), never a path, so that no line can name another file.
void JoinJob::notePartial(const QByteArray &name)
{
    static const QRegularExpression pattern(QStringLiteral("^\\.rme[0-9a-f]{1,16}-[0-9]{1,4}\\.tmp$"));
    const QString fileName = QString::fromLatin1(name);
    if (!m_partial.isEmpty() || !pattern.match(fileName).hasMatch())
        return;
    m_partial = QFileInfo(m_request.output).absoluteDir().filePath(fileName);
    m_partialIdentity = identityOf(m_partial);
}

// Whatever ended the tool (a cancel, a kill, a crash), its temporary goes,
// if the name still holds the very file it made. A tool that ended well
// has already given it the output's name.
void JoinJob::removeLeftPartial()
{
    if (m_partialIdentity && identityOf(m_partial) == m_partialIdentity)
        QFile::remove(m_partial);
}

void JoinJob::finished(int exitCode, QProcess::ExitStatus status)
{
    m_killTimer.stop();
    for (const QProcess::ProcessChannel channel : {QProcess::StandardOutput, QProcess::StandardError}) {
        read(channel);
        Channel &from = channel == QProcess::StandardError ? m_err : m_out;
        if (!from.partialLine.isEmpty())
            takeLine(from.partialLine, channel == QProcess::StandardError, from.decoder);
        from.partialLine.clear();
    }
    removeLeftPartial();
    State end = State::Cancelled;
    if (m_state == State::Cancelling) {
        judgeCancel(exitCode, status);
    } else {
        m_endReason = judgeEnd(exitCode, status);
        end = m_endReason.isEmpty() ? State::Succeeded : State::Failed;
    }
    m_state = end; // what follows a result is decided before anyone is told of it
    if (end == State::Succeeded)
        tidyAfterSuccess();
    m_line = describeResult();
    setState(end);
}

// The sources deleted as asked (each once, never the output), and the list
// cleared as asked; a file still there after its deletion failed is kept for
// the user to hear of.
void JoinJob::tidyAfterSuccess()
{
    const AfterJoin after = afterJoin(m_request);
    m_clearsList = after.clearList;
    for (const QString &source : after.deletions) {
        const Deletion deletion = m_deleteSource ? m_deleteSource(source) : Deletion::Failed;
        if (deletion == Deletion::Deleted)
            ++m_deletedForGood;
        else if (deletion == Deletion::Failed && QFileInfo::exists(source))
            m_undeleted.append(source);
    }
}

// The result line: its text names the output; the tooltip says why a join
// failed, whether a cancelled one may have left a partial file, or that
// sources were deleted for good (with a warning sign) where no trash took them.
ResultLine JoinJob::describeResult() const
{
    const QString output = m_request.output;
    if (m_state == State::Cancelled) {
        QString note = QStringLiteral("中止しました");
        if (m_partialMayRemain)
            note += QStringLiteral("。途中まで書かれたファイルがこの場所に残っているかもしれません");
        return {QStringLiteral("作成を中止しました:") + output, note, details(), {}, false};
    }
    if (m_state != State::Succeeded) {
        const QString said = lastMessage(), reason = m_endReason;
        const QString tip = said.isEmpty() || said == reason ? reason : said + QLatin1Char('\n') + reason;
        return {QStringLiteral("作成に失敗しました:") + output, tip, details(), {}, false};
    }
    const QString tip = m_deletedForGood > 0
                            ? QStringLiteral("ごみ箱に移せなかったため、元のファイル%1個を削除しました").arg(m_deletedForGood)
                            : QString();
    return {QStringLiteral("作成に成功しました:") + output, tip, std::nullopt, QFileInfo(output).absolutePath(),
            m_deletedForGood > 0};
}

// Joined: the tool ended normally with exit code 0 and left a file with
// content. Otherwise, why not.
QString JoinJob::judgeEnd(int exitCode, QProcess::ExitStatus status) const
{
    if (status != QProcess::NormalExit || exitCode != 0)
        return describeEnd(exitCode, status);
    if (testFileExists(m_request.output) != Existence::Present)
        return QStringLiteral("rmeditorは終了しましたが、作成されたファイルがありません");
    if (QFileInfo(m_request.output).size() <= 0)
        return QStringLiteral("rmeditorは終了しましたが、作成されたファイルが空です");
    return {};
}

void JoinJob::judgeCancel(int exitCode, QProcess::ExitStatus status)
{
    const std::optional<FileIdentity> now = identityOf(m_request.output);
    if (!now || now == m_before)
        return; // nothing there, or what was there before the run
    if (now == m_toolsFile && QFile::remove(m_request.output))
        return; // the tool's own unfinished file
    // Someone's file, or the tool's, finished or not: it stays.
    m_partialMayRemain = !(status == QProcess::NormalExit && exitCode == 0);
}

QString JoinJob::describeEnd(int exitCode, QProcess::ExitStatus status)
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

std::optional<JoinJob::FileIdentity> JoinJob::identityOf(const QString &path)
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

std::optional<JoinJob::FileIdentity> JoinJob::heldForWriting(qint64 pid, const QString &path)
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

bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo fa(a), fb(b);
    const QString ca = fa.canonicalFilePath(), cb = fb.canonicalFilePath();
    if (!ca.isEmpty() && !cb.isEmpty())
        return QString::compare(ca, cb, kFileNameCase) == 0;
    return QString::compare(QDir::cleanPath(fa.absoluteFilePath()),
                            QDir::cleanPath(fb.absoluteFilePath()), kFileNameCase) == 0;
}

AfterJoin afterJoin(const JoinRequest &request)
{
    AfterJoin after;
    after.clearList = request.clearList;
    if (!request.deleteSources)
        return after;
    QSet<QString> done;
    for (const QString &source : request.sources) {
        const QString key = QDir::cleanPath(QFileInfo(source).absoluteFilePath());
        if (done.contains(key) || sameFile(source, request.output))
            continue;
        done.insert(key);
        after.deletions.append(source);
    }
    return after;
}
