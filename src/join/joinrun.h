#pragma once
#include "platform/platform.h"

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QStringDecoder>
#include <QTimer>

// One run of the join tool, from its start to its judged end. The tool runs
// asynchronously; its standard output and error are captured (the last
// 64 KiB), decoded in whole lines, and lines "progress N" become progress.
// While it runs or is being cancelled, the window is busy.
class JoinRun : public QObject
{
    Q_OBJECT
public:
    enum class State { Composing, Running, Cancelling, Succeeded, Failed, Cancelled };

    static constexpr qsizetype kCapturedBytes = 64 * 1024;
    static constexpr int kKillAfterMs = 3000;

    // `output`: the path the tool is to write.
    explicit JoinRun(const QString &output, QObject *parent = nullptr);
    ~JoinRun() override;

    // Starts the tool (environment RMEDITOR_PROGRESS=1 added). False when it
    // could not be started: the state is then Failed and startError() says why.
    bool start(const ToolStart &start);
    // Ends the tool: terminate, and kill if it is still there after 3 seconds.
    void cancel();

    State state() const { return m_state; }
    bool busy() const { return m_state == State::Running || m_state == State::Cancelling; }
    QString startError() const { return m_startError; }
    QString capturedText() const;
    QString lastMessage() const { return m_lastMessage; } // the tool's last line other than progress

signals:
    void progressed(int perMille);
    void outputArrived(const QByteArray &bytes);
    void ended(JoinRun::State state);

private:
    void readOutput();
    void takeLine(const QByteArray &line);
    void finished(int exitCode, QProcess::ExitStatus status);

    QString m_output;
    bool m_outputExisted = false;
    State m_state = State::Composing;
    QProcess m_process;
    QTimer m_killTimer;
    QString m_startError;
    QByteArray m_captured;
    QByteArray m_partialLine;
    QStringDecoder m_decoder{QStringDecoder::System};
    QString m_lastMessage;
};
