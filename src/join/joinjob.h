#pragma once
#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QStringDecoder>
#include <QStringList>
#include <QTimer>

#include "join/resultlist.h"
#include "platform/deletion.h"

#include <functional>
#include <optional>

// One join as the user asked for it when 実行 was pressed: nothing here is
// read from the window again while the tool runs or afterwards.
struct JoinRequest {
    QStringList sources;      // in list order; the very entries deleted afterwards
    QString output;           // the path the tool is to write, never an existing file
    QString program;          // full path of the tool
    QString workingDirectory; // the tool's folder
    QString commandLine;      // the command line as text, for the console window's title
    bool showConsole = false;
    bool deleteSources = false;
    bool clearList = false;
};

// Deletes one source file after a join (to the trash where one takes it).
using SourceDeleter = std::function<Deletion(const QString &path)>;

// One run of the join tool, from its start to its judged end. The tool
// starts and runs asynchronously; every change of state is signalled. Its
// standard output and error are read in whole lines: "progress N" lines
// become progress, the others are what the tool said (errors from its
// error channel), of which the last 64 KiB are kept.
class JoinJob : public QObject
{
    Q_OBJECT
public:
    enum class State { Ready, Starting, Running, Cancelling, Succeeded, Failed, StartFailed, Cancelled };
    Q_ENUM(State)

    static constexpr qsizetype kCapturedBytes = 64 * 1024;
    static constexpr int kKillAfterMs = 3000;

    // The identity of a file on its disk, to tell one file from another
    // that later took its name.
    struct FileIdentity {
        quint64 device = 0, inode = 0;
        bool operator==(const FileIdentity &) const = default;
    };

    // `deleteSource` disposes of the sources after a join that succeeded,
    // when the request asks for it.
    explicit JoinJob(const JoinRequest &request, SourceDeleter deleteSource = {}, QObject *parent = nullptr);
    ~JoinJob() override; // a tool still running is killed, without a signal

    const JoinRequest &request() const { return m_request; }

    // Starts the tool (environment RMEDITOR_PROGRESS=1 added): Starting, then
    // Running, or StartFailed with startError() saying why.
    void start();
    // Ends the tool: terminate, and kill if it is still there after 3 seconds.
    // Only a file the tool itself holds open for writing at the output path
    // is removed afterwards; anything else found there stays.
    void cancel();

    State state() const { return m_state; }
    bool busy() const { return m_state == State::Starting || m_state == State::Running || m_state == State::Cancelling; }
    bool ended() const { return !busy() && m_state != State::Ready; }
    QString startError() const { return m_startError; }
    QString details() const;                                  // all the tool said but progress, oldest first
    QString lastMessage() const;                              // its last error line, else its last line
    QString endReason() const { return m_endReason; }         // how a failed run ended, in the user's words
    // Once ended: the line for the result list; whether the source list is
    // to be cleared; the sources still there after their deletion failed.
    const ResultLine &resultLine() const { return m_line; }
    bool clearsList() const { return m_clearsList; }
    const QStringList &undeleted() const { return m_undeleted; }

    // A temporary file the tool named as its own while it ran ("partial
    // NAME" beside the output), whose identity was taken then; removed when
    // the tool has ended if it is still that file. Empty when none was named.
    QString partialFile() const { return m_partial; }
    // After a cancel: a file is at the output path that may be the tool's
    // unfinished work (it could not be told apart from someone else's).
    bool partialMayRemain() const { return m_partialMayRemain; }

    // Who holds `path` open for writing: the identity of the file when the
    // process `pid` (or a child of it) does. Where the system cannot tell, none.
    static std::optional<FileIdentity> heldForWriting(qint64 pid, const QString &path);
    static std::optional<FileIdentity> identityOf(const QString &path);

signals:
    void stateChanged(JoinJob::State state);
    void progressed(int perMille);
    void outputArrived(const QByteArray &bytes); // raw, from either channel, for a console

private:
    struct Channel {
        QByteArray partialLine;
        QStringDecoder decoder{QStringDecoder::System};
    };
    void setState(State state);
    void read(QProcess::ProcessChannel channel);
    void takeLine(const QByteArray &line, bool error, QStringDecoder &decoder);
    void started();
    void failedToStart(QProcess::ProcessError error);
    void finished(int exitCode, QProcess::ExitStatus status);
    void judgeCancel(int exitCode, QProcess::ExitStatus status);
    void notePartial(const QByteArray &name);
    void tidyAfterSuccess();
    ResultLine describeResult() const;
    void removeLeftPartial();
    QString judgeEnd(int exitCode, QProcess::ExitStatus status) const;
    static QString describeEnd(int exitCode, QProcess::ExitStatus status);

    JoinRequest m_request;
    std::optional<FileIdentity> m_before;    // what was at the output path at the start
    std::optional<FileIdentity> m_toolsFile; // the file the tool was writing when cancelled
    QString m_partial;                        // the tool's named temporary, as it told
    std::optional<FileIdentity> m_partialIdentity;
    State m_state = State::Ready;
    QProcess m_process;
    QTimer m_killTimer;
    QString m_startError;
    QStringList m_said;
    qsizetype m_saidBytes = 0;
    Channel m_out, m_err;
    QString m_lastMessage, m_lastError;
    QString m_endReason;
    bool m_partialMayRemain = false;
    SourceDeleter m_deleteSource;
    int m_deletedForGood = 0;
    QStringList m_undeleted;
    bool m_clearsList = false;
    ResultLine m_line;
};

// What follows a join that succeeded: the sources to delete (each once,
// never the output even when it is listed as a source) and whether the list
// clears. A join that failed or was cancelled touches neither.
struct AfterJoin {
    QStringList deletions;
    bool clearList = false;
};
AfterJoin afterJoin(const JoinRequest &request);

// Whether two paths name the same file: the same file on disk when both
// exist, otherwise the same absolute path.
bool sameFile(const QString &a, const QString &b);
