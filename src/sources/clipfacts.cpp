#include "sources/clipfacts.h"

#include "clipinfo.h"
#include "join.h"
#include "messages.h"
#include "rawaudio.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QPointer>
#include <QThread>

#include <functional>

namespace {

std::string nativeName(const QString &path)
{
#ifdef Q_OS_WIN
    return path.toStdString(); // UTF-8: the joiner's reader opens it by its wide name
#else
    return QFile::encodeName(path).toStdString();
#endif
}

QString sizeText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

QString channelsText(int channels)
{
    if (channels == 1)
        return QStringLiteral("モノラル");
    if (channels == 2)
        return QStringLiteral("ステレオ");
    return QStringLiteral("%1 チャンネル").arg(channels);
}

QString describe(const rm::ClipSummary &clip, qint64 size)
{
    QStringList lines;
    QString head = clip.durationMs > 0 ? QStringLiteral("長さ ") + lengthText(clip.durationMs)
                                       : QStringLiteral("長さ 不明");
    if (clip.avgBitRate > 0)
        head += QStringLiteral(" ・ %1 kbit/s").arg((clip.avgBitRate + 500) / 1000);
    lines.append(head + QStringLiteral(" ・ ") + sizeText(size));
    for (const rm::StreamSummary &s : clip.streams) {
        const QString codec = s.codec.empty() ? QString::fromStdString(s.mime) : QString::fromStdString(s.codec);
        if (s.video())
            lines.append(QStringLiteral("映像 %1 %2×%3").arg(codec).arg(s.width).arg(s.height));
        else if (s.audio() && s.sampleRate > 0)
            lines.append(QStringLiteral("音声 %1 %2 Hz %3").arg(codec).arg(s.sampleRate).arg(channelsText(s.channels)));
        else if (s.audio())
            lines.append(QStringLiteral("音声 %1").arg(codec));
        else if (s.kind == rm::StreamKind::Event)
            lines.append(QStringLiteral("イベント"));
        else
            lines.append(QStringLiteral("その他 %1").arg(QString::fromStdString(s.mime)));
    }
    return lines.join(QLatin1Char('\n'));
}

ClipFacts readFacts(const QString &path, qint64 size, std::vector<uint8_t> &buffer)
{
    ClipFacts facts;
    facts.path = path;
    try {
        std::unique_ptr<rm::Input> in = rm::openFileInput(nativeName(path), buffer, 64u << 10);
        if (rm::isOldRealAudio(*in)) {
            facts.description = QStringLiteral("旧形式の RealAudio ファイル ・ ") + sizeText(size);
            const std::string why = rm::oldRealAudioRefusal(*in, nativeName(QFileInfo(path).fileName()));
            if (!why.empty())
                facts.refusal = QStringLiteral("結合できません: ") + QString::fromStdString(why);
            return facts;
        }
        auto header = std::make_shared<rm::Header>(rm::readHeader(*in, nativeName(QFileInfo(path).fileName())));
        const rm::ClipSummary clip = rm::summarize(*header);
        facts.description = describe(clip, size);
        facts.durationMs = clip.durationMs > 0 ? qint64(clip.durationMs) : -1;
        facts.header = std::move(header);
    } catch (const std::exception &error) {
        facts.description = QString::fromStdString(error.what()); // the joiner's own words
        facts.refusal = QStringLiteral("結合できません"); // the description says why
    }
    return facts;
}

} // namespace

QString lengthText(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    if (seconds >= 3600)
        return QStringLiteral("%1:%2:%3").arg(seconds / 3600).arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2.%3").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0')).arg(ms % 1000 / 100);
}

QString joinObstacle(const ClipFacts &first, const ClipFacts &other)
{
    if (!first.header)
        return {};
    if (!other.header)
        return QStringLiteral("結合できません: RealMedia ファイルとして読めません");
    const std::string why = rm::streamDifference(*first.header, *other.header);
    return why.empty() ? QString() : QStringLiteral("結合できません: ") + QString::fromStdString(why);
}

class ClipReader::Worker : public QObject
{
public:
    explicit Worker(std::shared_ptr<std::atomic<quint64>> latest) : m_latest(std::move(latest)) {}

    // Runs on the worker thread; `deliver` hands each batch to the window's thread.
    void read(quint64 generation, const QStringList &paths,
              const std::function<void(quint64, int, const QList<ClipFacts> &)> &deliver)
    {
        QList<ClipFacts> batch;
        int first = 0;
        QElapsedTimer clock;
        clock.start();
        for (int row = 0; row < paths.size(); ++row) {
            if (m_latest->load() != generation)
                return; // the list has changed since: a newer request follows
            batch.append(factsOf(paths[row]));
            if (batch.size() >= 500 || clock.elapsed() >= 100) {
                deliver(generation, first, batch);
                first = row + 1;
                batch.clear();
                clock.restart();
            }
        }
        if (!batch.isEmpty())
            deliver(generation, first, batch);
    }

private:
    struct Cached {
        qint64 size = -1;
        QDateTime modified;
        ClipFacts facts;
    };

    ClipFacts factsOf(const QString &path)
    {
        const QFileInfo info(path);
        const qint64 size = info.size();
        const QDateTime modified = info.lastModified();
        auto it = m_cache.find(path);
        if (it != m_cache.end() && it->size == size && it->modified == modified)
            return it->facts;
        ClipFacts facts;
        if (!info.isFile()) {
            facts.path = path;
            facts.description = info.exists() ? QStringLiteral("ファイルではありません") : QStringLiteral("ファイルが見つかりません");
        } else {
            facts = readFacts(path, size, m_buffer);
        }
        m_cache.insert(path, {size, modified, facts});
        return facts;
    }

    std::shared_ptr<std::atomic<quint64>> m_latest;
    QHash<QString, Cached> m_cache;
    std::vector<uint8_t> m_buffer;
};

ClipReader::ClipReader(QObject *parent)
    : QObject(parent), m_thread(new QThread), m_latest(std::make_shared<std::atomic<quint64>>(0))
{
    qRegisterMetaType<ClipFacts>();
    rm::setJapanese(true); // the window speaks Japanese, and so do the joiner's words in it
    m_worker = new Worker(m_latest);
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->setObjectName(QStringLiteral("ClipReader"));
    m_thread->start(QThread::LowPriority);
}

ClipReader::~ClipReader()
{
    m_latest->store(~quint64(0)); // whatever runs stops at its next file
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
}

void ClipReader::request(const QStringList &paths)
{
    const quint64 generation = m_latest->fetch_add(1) + 1;
    QPointer<ClipReader> self(this);
    std::shared_ptr<std::atomic<quint64>> latest = m_latest;
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, generation, paths, self, latest] {
        worker->read(generation, paths, [self, latest](quint64 g, int first, const QList<ClipFacts> &facts) {
            QMetaObject::invokeMethod(
                self.data(),
                [self, latest, g, first, facts] {
                    if (self && latest->load() == g)
                        emit self->known(first, facts);
                },
                Qt::QueuedConnection);
        });
    });
}
