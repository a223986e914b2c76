#pragma once
#include "platform/platform.h"

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QStringDecoder>
#include <QTimer>

#include <optional>

// One run of the join tool, from its start to its judged end. The tool runs
// asynchronously; its standard output and error are read in whole lines:
// lines "progress N" become progress, every other line is kept (the last
// 64 KiB of them) as what the tool said. While it runs or is being
// cancelled, the window is busy.
class JoinRun : public QObject
{
    Q_OBJECT
public:
    enum class State { Composing, Running, Cancelling, Succeeded, Failed, Cancelled };

    static constexpr qsizetype kCapturedBytes = 64 * 1024;
    static constexpr int kKillAfterMs = 3000;

    // The identity of a file on its disk, to tell one file from another
    // that later took its name.
    struct FileIdentity {
        quint64 device = 0, inode = 0;
        bool operator==(const FileIdentity &) const = default;
    };

    // `output`: the path the tool is to write.
    explicit JoinRun(const QString &output, QObject *parent = nullptr);
    ~JoinRun() override;

    // Starts the tool (environment RMEDITOR_PROGRESS=1 added). False when it
    // could not be started: the state is then Failed and startError() says why.
    bool start(const ToolStart &start);
    // Ends the tool: terminate, and kill if it is still there after 3 seconds.
    // Only a file the tool itself holds open for writing at the output path
    // is removed afterwards; anything else found there stays.
    void cancel();

    State state() const { return m_state; }
    bool busy() const { return m_state == State::Running || m_state == State::Cancelling; }
    QString startError() const { return m_startError; }
    QString details() const;                              // all the tool said but progress, oldest first
    QString lastMessage() const { return m_lastMessage; } // the tool's last line other than progress
    QString endReason() const { return m_endReason; }     // how a failed run ended, in the user's words
    // After a cancel: a file is at the output path that may be the tool's
    // unfinished work (it could not be told apart from someone else's).
    bool partialMayRemain() const { return m_partialMayRemain; }

    // Who holds `path` open for writing: the identity of the file when the
    // process `pid` (or a child of it) does. Where the system cannot tell, none.
    static std::optional<FileIdentity> heldForWriting(qint64 pid, const QString &path);
    static std::optional<FileIdentity> identityOf(const QString &path);

signals:
    void progressed(int perMille);
    void outputArrived(const QByteArray &bytes);
    void ended(JoinRun::State state);

private:
    void readOutput();
    void takeLine(const QByteArray &line);
    void finished(int exitCode, QProcess::ExitStatus status);
    void judgeCancel(int exitCode, QProcess::ExitStatus status);
    static QString describeEnd(int exitCode, QProcess::ExitStatus status);

    QString m_output;
    std::optional<FileIdentity> m_before;    // what was at the output path at the start
    std::optional<FileIdentity> m_toolsFile; // the file the tool was writing when cancelled
    State m_state = State::Composing;
    QProcess m_process;
    QTimer m_killTimer;
    QString m_startError;
    QStringList m_said;
    qsizetype m_saidBytes = 0;
    QByteArray m_partialLine;
    QStringDecoder m_decoder{QStringDecoder::System};
    QString m_lastMessage;
    QString m_endReason;
    bool m_partialMayRemain = false;
};
