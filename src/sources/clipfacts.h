#pragma once
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class QThread;
namespace rm {
struct Header;
}

// What is known of one listed clip, from its header alone.
struct ClipFacts {
    QString path;
    QString description;      // in Japanese: length, streams, bit rate, size; or what the file is instead
    qint64 durationMs = -1;   // -1: not known
    QString refusal;          // why the bundled joiner refuses this clip even alone, or empty
    std::shared_ptr<const rm::Header> header; // a RealMedia file's header, for the joiner's rules
};
Q_DECLARE_METATYPE(ClipFacts)

// Why the bundled joiner would refuse `other` after `first`, in one line in
// its own words; empty when it would take it (or when it cannot be told).
QString joinObstacle(const ClipFacts &first, const ClipFacts &other);
// A length as a person reads it: "1:05.3", "1:02:03".
QString lengthText(qint64 ms);

// Reads the headers of the listed clips on a thread of its own, in list
// order, telling what it learns in batches. Each file is read once while
// its size and time stay the same; a newer request ends an older one.
class ClipReader : public QObject
{
    Q_OBJECT
public:
    explicit ClipReader(QObject *parent = nullptr);
    ~ClipReader() override;

    void request(const QStringList &paths);

signals:
    // Facts of the rows from `firstRow` on, for the latest request only.
    void known(int firstRow, const QList<ClipFacts> &facts);

private:
    class Worker;
    QThread *m_thread;
    Worker *m_worker;
    std::shared_ptr<std::atomic<quint64>> m_latest;
};
