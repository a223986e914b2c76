// The shipped joiner, run as a program on clips that ffmpeg makes here and
// on real producers' files from the shared samples folder.
#include "clipinfo.h"
#include "join.h"
#include "messages.h"
#include "rvpayload.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <QThread>

#include <cerrno>
#include <functional>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>

namespace {

// The joiner under test: the one built here, or another build of it (the
// Windows one under Wine) named by RMEDITOR_UNDER_TEST.
const QString kJoiner = qEnvironmentVariable("RMEDITOR_UNDER_TEST", QStringLiteral(JOINER_TOOL));
const QString kSamples = QStringLiteral(SAMPLES_DIR);

// The joiner's environment with the fault library preloaded; its READFAULT_
// variables choose the fault.
QProcessEnvironment faultEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(READFAULT_LIB));
    env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":verify_asan_link_order=0"));
    return env;
}

struct Run {
    int exitCode = -1;
    QByteArray out, err;
    // For a failing check: how the run ended and what it said.
    QByteArray said() const { return "exit " + QByteArray::number(exitCode) + ": " + err + out.right(300); }
};

// `japanese`: run in a Japanese locale, whose messages are Japanese.
// A program still running after `seconds` is killed, as is any left
// behind when this test itself is killed.
Run runProgram(const QString &program, const QStringList &args, bool progress = false, bool japanese = false, int seconds = 120)
{
    QProcess p;
    p.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Any value but 1 asks for no progress lines.
    env.insert(QStringLiteral("RMEDITOR_PROGRESS"), progress ? QStringLiteral("1") : QStringLiteral("0"));
    env.insert(QStringLiteral("LC_ALL"), japanese ? QStringLiteral("ja_JP.UTF-8") : QStringLiteral("C.UTF-8"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(seconds * 1000)) {
        p.kill();
        p.waitForFinished();
        r.err = "did not finish";
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

quint32 be32(const QByteArray &b, qsizetype at)
{
    return qFromBigEndian<quint32>(b.constData() + at);
}

void put32(QByteArray &b, qsizetype at, quint32 v)
{
    qToBigEndian<quint32>(v, b.data() + at);
}

// Top-level chunks: id and position.
QList<QPair<QByteArray, qsizetype>> chunks(const QByteArray &b)
{
    QList<QPair<QByteArray, qsizetype>> list;
    qsizetype pos = 0;
    while (pos + 10 <= b.size()) {
        list.append({b.mid(pos, 4), pos});
        const quint32 size = be32(b, pos + 4);
        if (size < 10)
            break;
        pos += size;
    }
    return list;
}

qsizetype chunkAt(const QByteArray &b, const char *id)
{
    for (const auto &c : chunks(b))
        if (c.first == id)
            return c.second;
    return -1;
}

// Packets of the first DATA chunk, without their timestamps.
QList<QByteArray> packetsOf(const QByteArray &b)
{
    QList<QByteArray> list;
    const qsizetype data = chunkAt(b, "DATA");
    if (data < 0)
        return list;
    const quint32 count = be32(b, data + 10);
    qsizetype pos = data + 18;
    for (quint32 i = 0; i < count && pos + 12 <= b.size(); ++i) {
        const quint16 length = qFromBigEndian<quint16>(b.constData() + pos + 2);
        QByteArray p = b.mid(pos, length);
        p.replace(6, 4, QByteArray(4, '\0'));
        list.append(p);
        pos += length;
    }
    return list;
}

struct Probe {
    double duration = 0;
    QList<int> packets; // per stream
    int audio = 0;      // audio streams
};

// The readers' answers are kept by this key: the arguments, with the size
// and time of each file among them, so that a file is read once until it changes.
QString readKey(const QStringList &args)
{
    QString key = args.join(QLatin1Char('\n'));
    for (const QString &arg : args)
        if (const QFileInfo file(arg); file.isFile())
            key += QStringLiteral("\n%1 %2").arg(file.size()).arg(file.lastModified().toMSecsSinceEpoch());
    return key;
}

Probe probe(const QString &path)
{
    static QHash<QString, Probe> known;
    const QString key = readKey({path});
    if (known.contains(key))
        return known[key];
    const Run r = runProgram(QStringLiteral("ffprobe"),
                             {"-v", "error", "-count_packets", "-show_entries",
                              "stream=codec_type,nb_read_packets:format=duration", "-of", "default=nw=1", path});
    Probe p;
    for (const QByteArray &line : r.out.split('\n')) {
        if (line.startsWith("duration="))
            p.duration = line.mid(9).toDouble();
        else if (line.startsWith("nb_read_packets="))
            p.packets.append(line.mid(16).toInt());
        else if (line == "codec_type=audio")
            ++p.audio;
    }
    return known[key] = p;
}

// What ffmpeg complains of, decoding as told.
int errorLines(const QStringList &ffmpegArgs)
{
    static QHash<QString, int> known;
    const QString key = readKey(ffmpegArgs);
    if (!known.contains(key)) {
        const Run r = runProgram(QStringLiteral("ffmpeg"), QStringList{"-v", "error"} + ffmpegArgs + QStringList{"-f", "null", "-"});
        known[key] = int(r.err.count('\n'));
    }
    return known[key];
}

// Packets whose time is earlier than the one before in the same stream.
int stepsBack(const QString &path)
{
    const Run r = runProgram(QStringLiteral("ffprobe"), {"-v", "error", "-show_entries", "packet=stream_index,pts",
                                                         "-of", "csv=p=0", path});
    QHash<QByteArray, qint64> last;
    int back = 0;
    for (const QByteArray &line : r.out.split('\n')) {
        const QList<QByteArray> f = line.split(',');
        if (f.size() < 2)
            continue;
        const qint64 t = f[1].toLongLong();
        if (last.contains(f[0]) && t < last[f[0]])
            ++back;
        last[f[0]] = t;
    }
    return back;
}

struct RmPacket {
    int stream = 0;
    quint32 time = 0;
    bool keyframe = false;
    QByteArray payload;
    qsizetype at = 0; // where it starts in the file
};

// Every packet of the first DATA chunk as it is.
QList<RmPacket> packetList(const QByteArray &b)
{
    QList<RmPacket> list;
    const qsizetype data = chunkAt(b, "DATA");
    qsizetype pos = data + 18;
    for (quint32 i = 0; data >= 0 && i < be32(b, data + 10) && pos + 12 <= b.size(); ++i) {
        const int version = qFromBigEndian<quint16>(b.constData() + pos);
        const int length = qFromBigEndian<quint16>(b.constData() + pos + 2);
        const int header = version == 0 ? 12 : 13;
        list.append({qFromBigEndian<quint16>(b.constData() + pos + 4), be32(b, pos + 6),
                     (b[pos + header - 1] & 0x02) != 0, b.mid(pos + header, length - header), pos});
        pos += length;
    }
    return list;
}

// The MDPR chunk of stream `number`, and its MIME type.
qsizetype streamHeader(const QByteArray &b, int number);
QByteArray mimeOf(const QByteArray &b, int number)
{
    const qsizetype at = streamHeader(b, number) + 40;
    return at < 40 ? QByteArray() : b.mid(at + 1 + b[at] + 1, b[at + 1 + b[at]]);
}

qsizetype streamHeader(const QByteArray &b, int number)
{
    for (const auto &c : chunks(b))
        if (c.first == "MDPR" && qFromBigEndian<quint16>(b.constData() + c.second + 10) == number)
            return c.second;
    return -1;
}

// The joiner's own code, from files read into memory to bytes in memory;
// `lastChanged`, when given, is what the last clip holds by its second read.
QByteArray joinInMemory(const QStringList &paths, QString &error, const QByteArray &lastChanged = {})
{
    QList<QByteArray> contents;
    for (const QString &path : paths)
        contents.append(readAll(path));
    std::vector<rm::Source> sources;
    for (qsizetype k = 0; k < paths.size(); ++k) {
        const QByteArray &bytes = contents[k];
        const bool changes = k + 1 == paths.size() && !lastChanged.isNull();
        sources.push_back({paths[k].toStdString(), [&bytes, &lastChanged, changes](bool forPackets) {
                               const QByteArray &now = changes && forPackets ? lastChanged : bytes;
                               return rm::memoryInput(reinterpret_cast<const uint8_t *>(now.constData()),
                                                      size_t(now.size()));
                           }});
    }
    std::vector<uint8_t> written;
    try {
        auto out = rm::memoryOutput(written);
        rm::join(sources, *out);
    } catch (const rm::Error &e) {
        error = QString::fromStdString(e.what());
        return {};
    }
    return QByteArray(reinterpret_cast<const char *>(written.data()), qsizetype(written.size()));
}

// A RealAudio version 4 file: the ".ra" header a RealMedia file's audio
// stream carries (ffmpeg writes one), its texts, then `data`; `settings`
// replaces bytes of the header at their offsets.
QByteArray realAudio4(const QString &rmFile, const QByteArray &data, const QByteArray &title,
                      const QList<QPair<int, QByteArray>> &settings = {})
{
    const QByteArray b = readAll(rmFile);
    const qsizetype at = b.indexOf(".ra\xfd\x00\x04");
    if (at < 0)
        return {};
    QByteArray h = b.mid(at, 69);
    for (const auto &[offset, bytes] : settings)
        h.replace(offset, bytes.size(), bytes);
    h += char(title.size()) + title + QByteArray(3, '\0'); // title, author, copyright, comment
    put32(h, 12, quint32(data.size()));
    put32(h, 18, quint32(h.size() - 16));
    return h + data;
}

// A clip whose header points at no index (what follows the packets is skipped).
void leaveOutIndex(QByteArray &b)
{
    put32(b, chunkAt(b, "PROP") + 10 + 28, 0);
}

// `b` with only the packets `keep` picks, and no index.
QByteArray withPackets(const QByteArray &b, const std::function<bool(const RmPacket &)> &keep)
{
    QByteArray out = b.left(chunkAt(b, "DATA") + 18);
    quint32 kept = 0;
    for (const RmPacket &p : packetList(b))
        if (keep(p) && ++kept)
            out += b.mid(p.at, qFromBigEndian<quint16>(b.constData() + p.at + 2));
    const qsizetype data = chunkAt(out, "DATA");
    put32(out, chunkAt(out, "PROP") + 10 + 16, kept);
    put32(out, data + 4, quint32(out.size() - data));
    put32(out, data + 10, kept);
    leaveOutIndex(out);
    return out;
}

// The same clip with every packet in the longer version 1 form (a 2-byte
// rule number where version 0 has its group), its index left out.
QByteArray version1Packets(const QByteArray &b)
{
    const qsizetype data = chunkAt(b, "DATA");
    QByteArray out = b.left(data + 18);
    for (qsizetype pos = data + 18, i = 0; i < qsizetype(be32(b, data + 10)); ++i) {
        const quint16 length = qFromBigEndian<quint16>(b.constData() + pos + 2);
        QByteArray packet = b.mid(pos, length).insert(10, '\0');
        qToBigEndian<quint16>(1, packet.data());
        qToBigEndian<quint16>(length + 1, packet.data() + 2);
        out += packet;
        pos += length;
    }
    put32(out, data + 4, quint32(out.size() - data));
    leaveOutIndex(out);
    return out;
}

// Seconds of sound GStreamer decodes from each of the `streams` audio
// streams of `path`, fewest first (all 0: it decodes none; all -1: it
// never ends). Counted in samples written out, as GStreamer's messages may
// come after it quits.
QList<double> gstreamerSeconds(const QString &path, int streams = 1)
{
    static QHash<QString, QList<double>> known;
    const QString key = readKey({QString::number(streams), path});
    if (known.contains(key))
        return known[key];
    QStringList args{"-q", "filesrc", "location=" + path, "!", "decodebin", "name=d"};
    for (int k = 0; k < streams; ++k)
        args << "d." << "!" << "audio/x-raw" << "!" << "queue" << "!" << "audioconvert" << "!" << "audioresample" << "!"
             << "audio/x-raw,format=S16LE,rate=8000,channels=1" << "!" << "filesink" << QStringLiteral("location=%1.%2.raw").arg(path).arg(k);
    const bool ended = runProgram(QStringLiteral("gst-launch-1.0"), args, false, false, 30).err != "did not finish";
    QList<double> seconds;
    for (int k = 0; k < streams; ++k) {
        QFile raw(QStringLiteral("%1.%2.raw").arg(path).arg(k));
        seconds.append(ended ? double(raw.size()) / 16000 : -1);
        raw.remove();
    }
    std::sort(seconds.begin(), seconds.end());
    return known[key] = seconds;
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// A logical stream's table (size, version 0, the physical streams with their
// DATA offsets, the rule map, no properties), as multi-rate files group
// their streams of one kind.
QByteArray logicalTable(const QList<quint16> &numbers, const QList<quint32> &offsets, const QList<quint16> &rules)
{
    QByteArray t(6, '\0');
    const auto u16 = [&t](quint16 v) { t.append(char(v >> 8)).append(char(v)); };
    u16(quint16(numbers.size()));
    for (quint16 n : numbers)
        u16(n);
    for (quint32 o : offsets)
        t.append(QByteArray(4, '\0')), put32(t, t.size() - 4, o);
    u16(quint16(rules.size()));
    for (quint16 r : rules)
        u16(r);
    u16(0);
    put32(t, 0, quint32(t.size()));
    return t;
}

// A two-rate broadcast made of a file whose audio is stream 1 (its MIME
// types already the multi-rate ones): stream 3 is that audio again, stated
// at `otherRate`, each packet of 1 followed by its copy on 3; stream 4 is
// the logical stream grouping them, rules 0-1 on 1 and 2-3 on 3. No index.
QByteArray twoRates(const QByteArray &b, quint32 otherRate, bool offsetsStated = true)
{
    QByteArray head, data;
    qsizetype prop = -1, offsetsAt = -1;
    quint32 packets = 0;
    for (const auto &[id, at] : chunks(b)) {
        const QByteArray c = b.mid(at, be32(b, at + 4));
        if (id == "INDX")
            continue;
        if (id == "PROP")
            prop = head.size();
        if (id != "DATA")
            head += c;
        if (id == "MDPR" && qFromBigEndian<quint16>(c.constData() + 10) == 1) {
            QByteArray copy = c;
            copy[11] = 3;
            put32(copy, 16, otherRate);
            const QByteArray mime = "logical-audio/x-pn-multirate-realaudio";
            const QByteArray table = logicalTable({1, 3}, {0, 0}, {1, 1, 3, 3});
            QByteArray logical = "MDPR" + QByteArray(6, '\0') + QByteArray("\0\x04", 2) + c.mid(12, 28) + '\0'
                                 + char(mime.size()) + mime + QByteArray(4, '\0') + table;
            put32(logical, 4, quint32(logical.size()));
            put32(logical, logical.size() - table.size() - 4, quint32(table.size()));
            offsetsAt = head.size() + copy.size() + logical.size() - table.size() + 8 + 4;
            head += copy + logical;
        }
        if (id == "DATA")
            for (const RmPacket &p : packetList(b)) {
                const QByteArray one = b.mid(p.at, qFromBigEndian<quint16>(b.constData() + p.at + 2));
                data += one;
                if (p.stream == 1)
                    data += QByteArray(one).replace(5, 1, "\x03");
                packets += p.stream == 1 ? 2 : 1;
            }
    }
    if (prop < 0 || offsetsAt < 0)
        return {};
    put32(head, 14, be32(head, 14) + 2);              // headers
    put32(head, prop + 26, packets);
    put32(head, prop + 38, 0);                        // no index
    put32(head, prop + 42, quint32(head.size()));     // DATA
    head[prop + 47] = char(head[prop + 47] + 2);      // streams
    put32(head, offsetsAt, offsetsStated ? quint32(head.size()) : 0);
    put32(head, offsetsAt + 4, offsetsStated ? quint32(head.size()) : 0);
    QByteArray chunk = "DATA" + QByteArray(14, '\0');
    put32(chunk, 4, quint32(18 + data.size()));
    put32(chunk, 10, packets);
    return head + chunk + data;
}

} // namespace

class JoinerTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void messagesInBothLanguages();
    void joins_data();
    void joins();
    void producerFiles_data();
    void producerFiles();
    void videoPayload_data();
    void videoPayload();
    void packetsCopiedAsTheyAre();
    void joinedHeaders_data();
    void joinedHeaders();
    void silentStreamKeepsItsEnd();
    void refused_data();
    void refused();
    void logicalStreams_data();
    void logicalStreams();
    void audioSettingsEndTheHeader();
    void badFiles_data();
    void badFiles();
    void interruptedJoinLeavesNothing_data();
    void interruptedJoinLeavesNothing();
    void inputKeepsItsPlace();
    void readErrorEndsTheJoin_data();
    void readErrorEndsTheJoin();
    void clipChangedBetweenReads_data();
    void clipChangedBetweenReads();
    void helpOnRequest();
    void manyInputsInLittleMemory();
    void progressFollowsTheWork_data();
    void progressFollowsTheWork();

private:
    QString clip(const QString &name) const { return m_dir.filePath(name); }
    void makeClip(const QString &name, const QStringList &args);
    QTemporaryDir m_dir;
};

void JoinerTest::makeClip(const QString &name, const QStringList &args)
{
    const Run r = runProgram(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-y"} + args + QStringList{clip(name)});
    QVERIFY2(r.exitCode == 0, r.said().constData());
}

void JoinerTest::initTestCase()
{
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty(),
             "ffmpeg is needed (test.sh installs it)");
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("gst-launch-1.0")).isEmpty(),
             "GStreamer is needed (test.sh installs it)");
    QVERIFY(QFile::exists(kJoiner));
    for (int i = 1; i <= 3; ++i) {
        const QString t = QString::number(1.5 + 0.5 * i);
        makeClip(QStringLiteral("v%1.rm").arg(i),
                 {"-f", "lavfi", "-i", "testsrc=size=176x144:rate=15", "-f", "lavfi", "-i",
                  QStringLiteral("sine=frequency=%1:sample_rate=44100").arg(300 * i), "-t", t, "-c:v",
                  i == 3 ? "rv20" : "rv10", "-b:v", "150k", "-c:a", "ac3", "-b:a", "64k"});
        makeClip(QStringLiteral("a%1.rm").arg(i),
                 {"-f", "lavfi", "-i", QStringLiteral("sine=frequency=%1:sample_rate=44100").arg(200 * i),
                  "-t", t, "-c:a", "ac3", "-b:a", "64k"});
    }
    // rv20 differs from rv10 in its stream description, so v3 joins only with itself.
    QFile::copy(clip("v3.rm"), clip("v3b.rm"));
    QFile::copy(clip("a1.rm"), clip(QStringLiteral("録音_01.rm")));
    QFile::copy(clip("a2.rm"), clip("a 2.rm"));
    QVERIFY(mkfifo(QFile::encodeName(clip("fifo.rm")).constData(), 0600) == 0);
    QVERIFY(QFile::link(clip("nowhere.rm"), clip("dangling.rm"))); // a link to nothing
    // 14.4 audio as ffmpeg writes it: every packet at time 0, duration 0.
    makeClip(QStringLiteral("a144.rm"), {"-f", "lavfi", "-i", "sine=sample_rate=8000", "-t", "4", "-c:a", "real_144"});
    makeClip(QStringLiteral("v144.rm"), {"-f", "lavfi", "-i", "testsrc=size=176x144:rate=15", "-f", "lavfi", "-i",
                                         "sine=sample_rate=8000", "-t", "4", "-c:v", "rv20", "-b:v", "100k",
                                         "-c:a", "real_144"});
    // Old RealAudio that differs from the sample in its codec alone.
    QByteArray ra = readAll(kSamples + "/ra3-14_4-old-format.ra");
    if (ra.contains("lpcJ"))
        writeAll(clip("other-codec.ra"), ra.replace("lpcJ", "28_8"));
    makeClip(QStringLiteral("v-small.rm"), {"-i", clip("v1.rm"), "-vf", "scale=176:96", "-c:v", "rv10", "-b:v", "150k", "-c:a", "copy"});
    makeClip(QStringLiteral("a-stereo.rm"), {"-i", clip("a1.rm"), "-ac", "2", "-c:a", "ac3", "-b:a", "64k"});
    makeClip(QStringLiteral("a-six.rm"), {"-i", clip("a1.rm"), "-ac", "6", "-c:a", "ac3", "-b:a", "64k"});
    makeClip(QStringLiteral("a48k.rm"), {"-f", "lavfi", "-i", "sine=sample_rate=48000", "-t", "1", "-c:a", "ac3", "-b:a", "64k"});
    makeClip(QStringLiteral("a_other_rate.rm"), {"-f", "lavfi", "-i", "sine=sample_rate=44100", "-t", "1",
                                                  "-c:a", "ac3", "-b:a", "128k"});
    // The helix sample labelled with the multi-rate MIME types (as streamed
    // broadcasts are), and with a MIME type no reader knows: each stream's
    // name gives up the bytes its type gains, so no offset moves.
    const QByteArray helix = readAll(kSamples + "/helix11-rv30-cook.rm");
    if (!helix.isEmpty()) {
        QByteArray multirate = helix, unknown = helix;
        multirate.replace("\x0cVideo Stream\x14video/x-pn-realvideo", "\x02Vi\x1evideo/x-pn-multirate-realvideo");
        multirate.replace("\x0c" "Audio Stream\x14" "audio/x-pn-realaudio", "\x02" "Au\x1e" "audio/x-pn-multirate-realaudio");
        unknown.replace("video/x-pn-realvideo", "video/x-pn-unknown-v");
        QByteArray prefixed = helix; // a kind whose name only begins as video's, its label shortened to fit
        prefixed.replace("\x0cVideo Stream\x14video/x-pn-realvideo", "\x08Video St\x18video/x-pn-realvideo-enc");
        QCOMPARE(prefixed.size(), helix.size());
        writeAll(clip("prefixed-kind.rm"), prefixed);
        QVERIFY(multirate.contains("audio/x-pn-multirate-realaudio") && multirate.contains("video/x-pn-multirate-realvideo"));
        QCOMPARE(multirate.size(), helix.size());
        writeAll(clip("multirate-labels.rm"), multirate);
        writeAll(clip("unknown-kind.rm"), unknown);
        // Without its file properties (a logical stream of no kind to join).
        QByteArray noInfo = helix;
        for (const auto &[id, at] : chunks(helix))
            if (id == "MDPR" && mimeOf(helix, qFromBigEndian<quint16>(helix.constData() + at + 10)) == "logical-fileinfo")
                noInfo.remove(at, be32(helix, at + 4));
        noInfo[chunkAt(noInfo, "PROP") + 10 + 37] = char(noInfo[chunkAt(noInfo, "PROP") + 10 + 37] - 1);
        writeAll(clip("helix-no-fileinfo.rm"), noInfo);
        // Its audio under a type of its own, as lossless and AAC streams come.
        writeAll(clip("helix-other-audio.rm"), QByteArray(helix).replace("\x0c" "Audio Stream\x14" "audio/x-pn-realaudio",
                                                                         "\x06" "Audio \x1a" "audio/x-ralf-mpeg4-generic"));
        // Its audio stream declared but silent: no packets and nothing
        // stated; the video after it has them all.
        QByteArray mute = withPackets(helix, [](const RmPacket &p) { return p.stream != 0; });
        for (int at : {12, 16, 20, 24})
            put32(mute, streamHeader(mute, 0) + at, 0);
        writeAll(clip("helix-mute.rm"), mute);
        writeAll(clip("two-rates.rm"), twoRates(multirate, 32000));
        writeAll(clip("two-rates-20k.rm"), twoRates(multirate, 20000));
        writeAll(clip("two-rates-no-offsets.rm"), twoRates(multirate, 32000, false)); // as some editors leave them
        // Its cook stream's sub-packets made 0 bytes long, and ffmpeg's
        // remux of it, whose audio header has no frame sizes at all.
        writeAll(clip("helix-no-subpackets.rm"), QByteArray(helix).replace(QByteArray::fromHex("00090258003c"), QByteArray::fromHex("000902580000")));
        writeAll(clip("helix-no-coded-frame.rm"), QByteArray(helix).replace(QByteArray::fromHex("0003000002580000"), QByteArray::fromHex("0003000000000000")));
        makeClip(QStringLiteral("helix-remux.rm"), {"-i", kSamples + "/helix11-rv30-cook.rm", "-c", "copy"});
        writeAll(clip("sipr-remux.rm"), readAll(clip("helix-remux.rm")).replace("cook", "sipr"));
        // Its video labelled RealVideo 4, as .rmvb files are (the payload's form is the same).
        writeAll(clip("helix-rv40.rmvb"), QByteArray(helix).replace("VIDORV30", "VIDORV40"));
    }
    // RealAudio 4 files: the producer's 14.4 data (20-byte frames) under a
    // version 4 header, and ffmpeg's AC-3 as dnet (its bytes already swapped
    // in pairs); a dnet file at another rate.
    const QByteArray ra3 = readAll(kSamples + "/ra3-14_4-old-format.ra");
    if (!ra3.isEmpty()) {
        const QByteArray data = ra3.mid(8 + qFromBigEndian<quint16>(ra3.constData() + 6));
        // Coded frame 20 bytes; interleaving height 1, frame and sub-packet 20 bytes.
        writeAll(clip("ra4-14_4.ra"), realAudio4(clip("a144.rm"), data, "Song of Welcome",
                                                 {{24, QByteArray("\0\0\0\x14", 4)}, {40, QByteArray("\0\x01\0\x14\0\x14", 6)}}));
        writeAll(clip("ra4-14_4-unstated.ra"), realAudio4(clip("a144.rm"), data, "Song of Welcome",
                                                          {{24, QByteArray(4, '\0')}, {40, QByteArray("\0\x01\0\x14\0\x14", 6)}}));
        // Its last frame cut short, as by a recording that stopped mid-frame.
        writeAll(clip("ra4-14_4-cut.ra"), realAudio4(clip("a144.rm"), data.chopped(7), "Song of Welcome",
                                                     {{24, QByteArray("\0\0\0\x14", 4)}, {40, QByteArray("\0\x01\0\x14\0\x14", 6)}}));
        writeAll(clip("ra4-14_4-unstated-cut.ra"), realAudio4(clip("a144.rm"), data.chopped(7), "Song of Welcome",
                                                              {{24, QByteArray(4, '\0')}, {40, QByteArray("\0\x01\0\x14\0\x14", 6)}}));
        // The same, its codec named "14_4" as some producers name it.
        const QList<QPair<int, QByteArray>> named{{24, QByteArray("\0\0\0\x14", 4)}, {40, QByteArray("\0\x01\0\x14\0\x14", 6)}, {62, "14_4"}};
        writeAll(clip("ra4-14_4-named.ra"), realAudio4(clip("a144.rm"), data, "Song of Welcome", named));
        writeAll(clip("ra4-14_4-named-cut.ra"), realAudio4(clip("a144.rm"), data.chopped(7), "Song of Welcome", named));
        // Its header stating a size that leaves out the codec's names.
        QByteArray shortHeader = readAll(clip("ra4-14_4.ra"));
        put32(shortHeader, 18, 30);
        writeAll(clip("ra4-short-header.ra"), shortHeader);
        QByteArray twoVersions = readAll(clip("ra4-14_4.ra"));
        twoVersions[17] = 5; // version 5 where it states its version again
        writeAll(clip("ra4-two-versions.ra"), twoVersions);
        // The version 3 sample with the last of its settings changed.
        QByteArray otherFrame = ra3;
        otherFrame[17] = char(otherFrame[17] ^ 0x10);
        writeAll(clip("ra3-other-frame.ra"), otherFrame);
        writeAll(clip("ra3-cut.ra"), ra3.chopped(100)); // fewer data bytes than it states
    }
    QList<QByteArray> payloads;
    for (const RmPacket &p : packetList(readAll(clip("a1.rm"))))
        payloads.append(p.payload);
    const QByteArray dnet = payloads.join();
    writeAll(clip("ra4-dnet.ra"), realAudio4(clip("a1.rm"), dnet, ""));
    writeAll(clip("ra4-dnet-empty.ra"), realAudio4(clip("a1.rm"), QByteArray(), "")); // stopped before its first frame
    writeAll(clip("ra4-dnet-again.ra"), realAudio4(clip("a1.rm"), dnet, ""));
    writeAll(clip("a1-v1.rm"), version1Packets(readAll(clip("a1.rm"))));
    // v1.rm whose first video packet is 20 + FRAME bytes, up to 64 KiB full, one
    // frame packed in it at 16.368 s: a second clip's later times need 2 bytes more. No index.
    const auto fullPacket = [&](int frame) {
        QByteArray full = readAll(clip("v1.rm"));
        const qsizetype fullData = chunkAt(full, "DATA");
        RmPacket video;
        for (const RmPacket &p : packetList(full))
            if (mimeOf(full, p.stream).startsWith("video/") && video.payload.isEmpty())
                video = p;
        QByteArray packet = full.mid(video.at, 12) + QByteArray("\xC0\x00\x00", 3) + char(frame >> 8) + char(frame)
                            + QByteArray("\x7F\xF0\x01", 3) + QByteArray(frame, '\x55');
        qToBigEndian<quint16>(quint16(20 + frame), packet.data() + 2);
        full = full.left(fullData + be32(full, fullData + 4))
                   .replace(video.at, qFromBigEndian<quint16>(full.constData() + video.at + 2), packet);
        put32(full, fullData + 4, quint32(full.size() - fullData));
        leaveOutIndex(full);
        return full;
    };
    writeAll(clip("v1-full-packet.rm"), fullPacket(0xFFEB));
    writeAll(clip("v1-nearly-full-packet.rm"), fullPacket(0xFFEA)); // would grow to 65536 bytes
    // a1.rm with its stream numbered 1, its index left out.
    QByteArray renumbered = readAll(clip("a1.rm"));
    for (const RmPacket &p : packetList(renumbered))
        renumbered[p.at + 5] = 1;
    renumbered[streamHeader(renumbered, 0) + 11] = 1;
    leaveOutIndex(renumbered);
    writeAll(clip("a1-stream-1.rm"), renumbered);
    // a1.rm with its packets in two DATA chunks, as some producers write them,
    // and an empty index between the two.
    QByteArray twoData = readAll(clip("a1.rm"));
    const qsizetype dataAt = chunkAt(twoData, "DATA");
    const QList<RmPacket> inTwo = packetList(twoData);
    const qsizetype half = inTwo.at(inTwo.size() / 2).at, end = dataAt + be32(twoData, dataAt + 4);
    QByteArray second = twoData.mid(dataAt, 18);
    put32(second, 4, quint32(18 + end - half));
    put32(second, 10, quint32(inTwo.size() - inTwo.size() / 2));
    put32(twoData, dataAt + 4, quint32(half - dataAt));
    put32(twoData, dataAt + 10, quint32(inTwo.size() / 2));
    put32(twoData, dataAt + 14, quint32(half + 20));
    writeAll(clip("a1-two-data.rm"), twoData.insert(half, QByteArray("INDX\0\0\0\x14", 8) + QByteArray(12, '\0') + second));
    // v1.rm with its last two frames in decoding order, as B-frames come.
    QByteArray reordered = readAll(clip("v1.rm"));
    const QList<RmPacket> frames = packetList(reordered);
    put32(reordered, frames.at(frames.size() - 2).at + 6, frames.last().time);
    put32(reordered, frames.last().at + 6, frames.at(frames.size() - 2).time);
    writeAll(clip("v1-reordered.rm"), reordered);
    // v1.rm cut to what it has at 0 s, a still picture stating no length.
    QByteArray still = withPackets(readAll(clip("v1.rm")), [](const RmPacket &p) { return p.time == 0; });
    for (qsizetype at : {chunkAt(still, "PROP") + 10 + 20, streamHeader(still, 0) + 36, streamHeader(still, 1) + 36})
        put32(still, at, 0);
    writeAll(clip("v1-still.rm"), still);
    // a1.rm stating 47 days: two of them run past what a header's times can hold.
    QByteArray weeks = readAll(clip("a1.rm"));
    put32(weeks, chunkAt(weeks, "PROP") + 10 + 20, 0xF0000000u);
    writeAll(clip("a1-47-days.rm"), weeks);
    // a1.rm with its stream starting at 0.5 s.
    QByteArray startsLate = readAll(clip("a1.rm"));
    put32(startsLate, streamHeader(startsLate, 0) + 28, 500);
    writeAll(clip("a1-starts-late.rm"), startsLate);
    // a1.rm with its headers and an empty DATA chunk: no packets at all.
    QByteArray empty = readAll(clip("a1.rm"));
    const qsizetype emptyData = chunkAt(empty, "DATA");
    empty.truncate(emptyData + 18);
    put32(empty, emptyData + 4, 18);
    put32(empty, emptyData + 10, 0);
    put32(empty, chunkAt(empty, "PROP") + 10 + 28, 0); // no index
    writeAll(clip("a1-no-packets.rm"), empty);
    // a144.rm with its times stated, 20 ms a packet, one of them said twice.
    QByteArray timed = readAll(clip("a144.rm"));
    const QList<RmPacket> frames144 = packetList(timed);
    for (qsizetype k = 0; k < frames144.size(); ++k)
        put32(timed, frames144[k].at + 6, quint32(20 * (k == 100 ? 99 : k)));
    writeAll(clip("a144-timed.rm"), timed);
    // a1.rm as other writers leave it: a chunk with nothing in it among the
    // headers, and after the packets a few stray bytes or a trailer cut off.
    QByteArray odd = readAll(clip("a1.rm"));
    const qsizetype oddData = chunkAt(odd, "DATA");
    put32(odd, oddData + 4, quint32(odd.size() - oddData));
    odd.insert(oddData, QByteArray("JUNK\0\0\0\x0a\0\0", 10));
    put32(odd, chunkAt(odd, "PROP") + 10 + 32, quint32(oddData + 10));
    writeAll(clip("a1-stray.rm"), odd + QByteArray(5, '\0'));
    writeAll(clip("a1-cut-trailer.rm"), odd + QByteArray("RMMD\0\0\x10\0\0\0metadata", 18));
    // a1.rm whose DATA chunk holds 20 bytes of padding after the packets it counts.
    QByteArray padded = readAll(clip("a1.rm"));
    const qsizetype paddedData = chunkAt(padded, "DATA"), paddedEnd = paddedData + be32(padded, paddedData + 4);
    padded.insert(paddedEnd, QByteArray(20, '\0'));
    put32(padded, paddedData + 4, quint32(paddedEnd + 20 - paddedData));
    if (const quint32 index = be32(padded, chunkAt(padded, "PROP") + 10 + 28))
        put32(padded, chunkAt(padded, "PROP") + 10 + 28, index + 20);
    writeAll(clip("a1-padded.rm"), padded);
    // Padding shorter than a packet's header, where no count of packets says where they end.
    QByteArray uncounted = readAll(clip("a1.rm"));
    const qsizetype uncountedData = chunkAt(uncounted, "DATA");
    qsizetype packetsEnd = uncountedData + 18;
    for (quint32 k = be32(uncounted, uncountedData + 10); k > 0; --k)
        packetsEnd += rm::be16(reinterpret_cast<const uint8_t *>(uncounted.constData()) + packetsEnd + 2);
    uncounted.truncate(packetsEnd);
    put32(uncounted, uncountedData + 4, quint32(packetsEnd + 11 - uncountedData));
    put32(uncounted, uncountedData + 10, 0);
    writeAll(clip("a1-padded-uncounted.rm"), uncounted + QByteArray(11, '\0'));
    writeAll(clip("ra4-dnet-48k.ra"), realAudio4(clip("a1.rm"), dnet, "", {{48, QByteArray("\xbb\x80", 2)}}));
    writeAll(clip("ra4-dnet-stereo.ra"), realAudio4(clip("a1.rm"), dnet, "", {{54, QByteArray("\0\x02", 2)}}));
    writeAll(clip("ra4-dnet-flavour.ra"), realAudio4(clip("a1.rm"), dnet, "", {{22, QByteArray("\x7f\x7f", 2)}}));
    writeAll(clip("ra4-no-frame.ra"), realAudio4(clip("a1.rm"), dnet, "", {{57, "Int4"}, {42, QByteArray(2, '\0')}}));
    // The producer's event file stating a length of 18.26 s: its seam falls
    // 0.6 of a tenth past one.
    QByteArray p61 = readAll(kSamples + "/producer61-cook-event.rm");
    if (const qsizetype prop = chunkAt(p61, "PROP"); prop >= 0) {
        put32(p61, prop + 30, 18260);
        writeAll(clip("p61-18260.rm"), p61);
    }
    // Its event at 18.3 s, after the audio's end, as a closing caption; then
    // carrying numbers that are no times of it, which go as they are.
    QByteArray late = readAll(kSamples + "/producer61-cook-event.rm");
    for (const RmPacket &p : packetList(p61))
        if (mimeOf(p61, p.stream) == "application/x-pn-realevent" && p.payload.size() >= 10) {
            const qsizetype payload = p.at + qFromBigEndian<quint16>(p61.constData() + p.at + 2) - p.payload.size();
            put32(late, p.at + 6, 18300);
            put32(late, payload + 2, 183);
            put32(late, payload + 6, 183);
            writeAll(clip("p61-late-event.rm"), late);
            put32(late, p.at + 6, 18200); // and at 18.2 s, lasting to 18.3 s
            put32(late, payload + 2, 182);
            writeAll(clip("p61-event-runs-on.rm"), late);
            QByteArray offTenth = readAll(kSamples + "/producer61-cook-event.rm"); // its packet 50 ms after the event's start
            put32(offTenth, p.at + 6, p.time + 50);
            writeAll(clip("p61-event-off-tenth.rm"), offTenth);
            put32(offTenth, p.at + 6, p.time + 100); // a whole tenth after it: no time of it
            writeAll(clip("p61-event-tenth-late.rm"), offTenth);
            put32(p61, payload + 2, 0x100000);
            put32(p61, payload + 6, 0x100005);
            writeAll(clip("p61-foreign-event.rm"), p61);
        }
}

void JoinerTest::joins_data()
{
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<double>("frame");
    QTest::addColumn<QString>("outName");
    QTest::newRow("two video clips") << QStringList{"v1.rm", "v2.rm"} << 1.0 / 15 << QString();
    QTest::newRow("three video clips") << QStringList{"v1.rm", "v2.rm", "v1.rm"} << 1.0 / 15 << QString();
    QTest::newRow("rv20 clips") << QStringList{"v3.rm", "v3b.rm"} << 1.0 / 15 << QString();
    QTest::newRow("two audio clips") << QStringList{"a1.rm", "a2.rm"} << 1536.0 / 44100 << QString();
    QTest::newRow("three audio clips") << QStringList{"a1.rm", "a2.rm", "a3.rm"} << 1536.0 / 44100 << QString();
    QTest::newRow("one clip") << QStringList{"a2.rm"} << 1536.0 / 44100 << QString();
    QTest::newRow("a still picture") << QStringList{"v1-still.rm"} << 1.0 / 15 << QString();
    QTest::newRow("250-byte output name") << QStringList{"a1.rm", "a2.rm"} << 1536.0 / 44100
                                          << QString(247, QLatin1Char('n')) + QStringLiteral(".rm");
    QTest::newRow("14.4 at time 0 throughout, x3") << QStringList{"a144.rm", "a144.rm", "a144.rm"} << 0.02 << QString();
    if (QFile::exists(clip("ra4-14_4.ra")))
        QTest::newRow("RealAudio 4 14.4 x2") << QStringList{"ra4-14_4.ra", "ra4-14_4.ra"} << 0.02 << QString();
    if (QFile::exists(clip("ra4-14_4-unstated.ra"))) // 14.4 frames are 20 bytes where the header says 0
        QTest::newRow("RealAudio 4 14.4 x2, frame size unstated") << QStringList{"ra4-14_4-unstated.ra", "ra4-14_4-unstated.ra"} << 0.02 << QString();
    if (QFile::exists(clip("ra4-14_4-cut.ra"))) // the cut-off frame goes: the next clip's frames stay whole
        QTest::newRow("RealAudio 4 14.4 ending mid-frame, then whole") << QStringList{"ra4-14_4-cut.ra", "ra4-14_4.ra"} << 0.02 << QString();
    if (QFile::exists(clip("ra4-14_4-unstated-cut.ra")))
        QTest::newRow("RealAudio 4 14.4 ending mid-frame, then whole, frame size unstated")
            << QStringList{"ra4-14_4-unstated-cut.ra", "ra4-14_4-unstated.ra"} << 0.02 << QString();
    if (QFile::exists(clip("ra4-14_4-cut.ra"))) // the last clip's cut-off frame stays: nothing follows it
        QTest::newRow("RealAudio 4 14.4 whole, then ending mid-frame") << QStringList{"ra4-14_4.ra", "ra4-14_4-cut.ra"} << 0.02 << QString();
    QTest::newRow("version 1 packets x2") << QStringList{"a1-v1.rm", "a1-v1.rm"} << 1536.0 / 44100 << QString();
    QTest::newRow("two DATA chunks in the first clip") << QStringList{"a1-two-data.rm", "a2.rm"} << 1536.0 / 44100 << QString();
    QTest::newRow("other writers' leftovers") << QStringList{"a1-stray.rm", "a1-cut-trailer.rm"} << 1536.0 / 44100 << QString();
    QTest::newRow("padding after the counted packets") << QStringList{"a1-padded.rm", "a1-padded.rm"} << 1536.0 / 44100 << QString();
    QTest::newRow("padding shorter than a packet, none counted") << QStringList{"a1-padded-uncounted.rm", "a1-padded-uncounted.rm"} << 1536.0 / 44100 << QString();
    QTest::newRow("RealAudio 4 with no audio, then dnet") << QStringList{"ra4-dnet-empty.ra", "ra4-dnet.ra"} << 1536.0 / 44100 << QString();
    QTest::newRow("RealAudio 4 dnet x3") << QStringList{"ra4-dnet.ra", "ra4-dnet.ra", "ra4-dnet.ra"} << 1536.0 / 44100 << QString();
    QTest::newRow("Japanese names and spaces") << QStringList{QStringLiteral("録音_01.rm"), "a 2.rm"} << 1536.0 / 44100
                                               << QStringLiteral("結合 済み.rm");
}

void JoinerTest::joins()
{
    QFETCH(QStringList, inputs);
    QFETCH(double, frame);
    QFETCH(QString, outName);
    const QString out = clip(outName.isEmpty() ? QStringLiteral("joined %1.rm").arg(QTest::currentDataTag()) : outName);
    QStringList args;
    double duration = 0;
    bool stated = true; // every clip states its length (ffmpeg's 14.4 says 0)
    QList<int> packets;
    for (const QString &name : inputs) {
        args << "-i" << clip(name);
        const Probe p = probe(clip(name));
        duration += p.duration;
        stated = stated && p.duration > 0;
        if (packets.isEmpty())
            packets = QList<int>(p.packets.size(), 0);
        for (qsizetype s = 0; s < p.packets.size(); ++s)
            packets[s] += p.packets[s];
    }
    args << "-o" << out;
    QElapsedTimer clock;
    clock.start();
    const Run r = runProgram(kJoiner, args, true);
    QVERIFY2(r.exitCode == 0, r.said().constData());
    QVERIFY(r.err.isEmpty());
    // Progress: "progress N" lines only, rising to 1000, at most ten a second,
    // after the name of the temporary where the joiner had to name one.
    QList<QByteArray> lines = r.out.trimmed().split('\n');
    if (lines.first().startsWith("partial "))
        QVERIFY2(QRegularExpression(QStringLiteral("^partial \\.rme[0-9a-f]+-0\\.tmp$")).match(QString::fromLatin1(lines.takeFirst().trimmed())).hasMatch(),
                 r.out.constData());
    int last = -1;
    for (const QByteArray &line : lines) {
        QVERIFY2(line.startsWith("progress "), line.constData());
        const int n = line.mid(9).toInt();
        QVERIFY(n >= last && n <= 1000);
        last = n;
    }
    QCOMPARE(last, 1000);
    QVERIFY(lines.size() <= 2 + clock.elapsed() / 100);

    const Probe joined = probe(out);
    QCOMPARE(stepsBack(out), 0); // every stream's times move on across the seams
    // Each clip ends at its content's end, which may lie a frame past what it states.
    QVERIFY2(!stated || qAbs(joined.duration - duration) <= frame * inputs.size(), qPrintable(QString::number(joined.duration)));
    QCOMPARE(joined.packets, packets);
    // What GStreamer reads of old RealAudio clips, it reads of the whole;
    // the header's count of data grows by the data that follows it.
    if (inputs.first().endsWith(QLatin1String(".ra"))) {
        const QByteArray head = readAll(clip(inputs.first())), whole = readAll(out);
        const auto countAndData = [](const QByteArray &ra) {
            const bool v4 = qFromBigEndian<quint16>(ra.constData() + 4) == 4;
            const qint64 header = v4 ? 16 + qFromBigEndian<quint32>(ra.constData() + 18) : 8 + qFromBigEndian<quint16>(ra.constData() + 6);
            return std::pair<qint64, qint64>(qFromBigEndian<quint32>(ra.constData() + (v4 ? 12 : 18)), ra.size() - header);
        };
        QCOMPARE(countAndData(whole).first - countAndData(head).first, countAndData(whole).second - countAndData(head).second);
        const QByteArray tail = readAll(clip(inputs.last()));
        QVERIFY(whole.endsWith(tail.right(countAndData(tail).second)));
        double each = 0;
        for (const QString &name : inputs)
            each += gstreamerSeconds(clip(name)).constFirst();
        if (each > 0) // GStreamer reads dnet; it knows 14.4 only by the name "14_4"
            QVERIFY2(qAbs(gstreamerSeconds(out).constFirst() - each) <= frame * inputs.size(), qPrintable(QString::number(gstreamerSeconds(out).constFirst())));
    }
    const Run decode = runProgram(QStringLiteral("ffmpeg"), {"-v", "error", "-i", out, "-f", "null", "-"});
    QCOMPARE(decode.exitCode, 0);
    // No complaint but those of a last clip that ends mid-frame.
    QVERIFY2(decode.err.count('\n') <= errorLines({"-i", clip(inputs.last())}), decode.err.constData());
    // Seeking uses the fresh index: no more complaints than a seek into a
    // clip alone (none where it has an index; raw audio may land mid-frame).
    const QString lastClip = clip(inputs.last());
    const int alone = errorLines({"-ss", QString::number(probe(lastClip).duration * 0.5), "-i", lastClip});
    QVERIFY(errorLines({"-ss", QString::number(duration * 0.8), "-i", out}) <= alone);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Hidden | QDir::Files).filter(".rme"), QStringList());
}

void JoinerTest::producerFiles_data()
{
    QTest::addColumn<QStringList>("inputs");
    for (const char *name : {"helix11-rv30-cook.rm", "producer61-cook-event.rm", "ra3-14_4-old-format.ra"}) {
        const QString path = kSamples + QLatin1Char('/') + QLatin1String(name);
        QTest::addRow("%s x2", name) << QStringList{path, path};
        QTest::addRow("%s x3", name) << QStringList{path, path, path};
    }
    QTest::newRow("helix with its other-date copy")
        << QStringList{kSamples + "/helix11-rv30-cook.rm", kSamples + "/helix11-rv30-cook-otherdate.rm"};
    const QString multirate = clip("multirate-labels.rm");
    QTest::newRow("helix with multi-rate MIME types x3") << QStringList{multirate, multirate, multirate};
    const QString twoRates = clip("two-rates.rm");
    QTest::newRow("two-rate broadcast x3") << QStringList{twoRates, twoRates, twoRates};
    QTest::newRow("two-rate broadcast stating no offsets x2") << QStringList{clip("two-rates-no-offsets.rm"), twoRates};
}

void JoinerTest::producerFiles()
{
    QFETCH(QStringList, inputs);
    if (!QFile::exists(inputs.first()))
        QSKIP(qPrintable("real producers' files are not here: " + inputs.first()));
    const QString out = clip(QStringLiteral("producer %1.rm").arg(QTest::currentDataTag()));
    QStringList args;
    int ownErrors = 0;
    for (const QString &in : inputs) {
        args << "-i" << in;
        ownErrors += errorLines({"-i", in});
    }
    const Run r = runProgram(kJoiner, args << "-o" << out);
    QVERIFY2(r.exitCode == 0, r.said().constData());
    QCOMPARE(r.out, QByteArray()); // not asked for progress

    QCOMPARE(stepsBack(out), 0);
    QVERIFY(errorLines({"-i", out}) <= ownErrors);
    // A multi-rate group's streams all lie in the one DATA chunk now.
    const QByteArray whole = readAll(out);
    for (const auto &c : chunks(whole)) {
        const int number = c.first == "MDPR" ? qFromBigEndian<quint16>(whole.constData() + c.second + 10) : -1;
        if (!mimeOf(whole, number).startsWith("logical-") || mimeOf(whole, number) == "logical-fileinfo")
            continue;
        const qsizetype at = c.second + 40, type = at + 1 + whole[at] + 1 + whole[at + 1 + whole[at]] + 4;
        const int physical = qFromBigEndian<quint16>(whole.constData() + type + 6);
        for (int k = 0; k < physical; ++k)
            QCOMPARE(qsizetype(be32(whole, type + 8 + 2 * physical + 4 * k)), chunkAt(whole, "DATA"));
    }
    // GStreamer decodes every audio stream of the whole to the sum of the clips'.
    QList<double> sum;
    for (const QString &in : inputs) {
        const QList<double> each = gstreamerSeconds(in, probe(in).audio);
        sum.resize(each.size());
        for (qsizetype s = 0; s < each.size(); ++s)
            sum[s] += each[s];
    }
    const QList<double> joined = gstreamerSeconds(out, probe(out).audio);
    QCOMPARE(joined.size(), sum.size());
    for (qsizetype s = 0; s < sum.size(); ++s)
        QVERIFY2(qAbs(joined[s] - sum[s]) <= 0.05 * inputs.size(), qPrintable(QStringLiteral("%1 vs %2").arg(joined[s]).arg(sum[s])));
    // Seeks into every clip: no more complaints than seeks into the clip alone.
    const double clipLength = probe(out).duration / inputs.size();
    for (int k = 0; k < inputs.size(); ++k)
        for (double into : {0.3, 0.6}) {
            const QString at = QString::number(clipLength * into);
            const int own = errorLines({"-ss", at, "-i", inputs[k]});
            QVERIFY(errorLines({"-ss", QString::number(clipLength * k + at.toDouble()), "-i", out}) <= own);
        }
    // Averages set, never above the maximum: PROP, then each MDPR with packets.
    const QByteArray b = readAll(out);
    if (b.startsWith(".ra\xfd")) { // old RealAudio: the first header, saying the data of all
        qsizetype data = 0;
        for (const QString &in : inputs)
            data += be32(readAll(in), 18);
        QCOMPARE(qsizetype(be32(b, 18)), data);
        QCOMPARE(b.size(), 8 + qFromBigEndian<quint16>(b.constData() + 6) + data);
        return;
    }
    const qsizetype prop = chunkAt(b, "PROP");
    QVERIFY(be32(b, prop + 14) > 0 && be32(b, prop + 14) <= be32(b, prop + 10));
    QVERIFY(be32(b, prop + 22) > 0 && be32(b, prop + 22) <= be32(b, prop + 18));
    for (const auto &c : chunks(b))
        if (c.first == "MDPR" && be32(b, c.second + 20) > 0)
            QVERIFY(be32(b, c.second + 16) > 0 && be32(b, c.second + 16) <= be32(b, c.second + 12));
}

// RealVideo payloads built byte by byte: frame forms, number widths, and a
// time moved across the 2-byte limit.
void JoinerTest::videoPayload_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<quint32>("shift");
    QTest::addColumn<QByteArray>("expected"); // empty: not readable; "too late": its time no longer fits
    QTest::addColumn<bool>("startsFrame");
    const QByteArray data("\xAA\xBB\xCC", 3);
    QTest::newRow("whole frame") << QByteArray("\x40\x01", 2) + data << 5000u << QByteArray("\x40\x01", 2) + data << true;
    QTest::newRow("first piece") << QByteArray("\x01\x01\x40\x09\x40\x00\x07", 7) + data << 5000u
                                 << QByteArray("\x01\x01\x40\x09\x40\x00\x07", 7) + data << true;
    QTest::newRow("later piece") << QByteArray("\x01\x02\x40\x09\x40\x03\x07", 7) + data << 5000u
                                 << QByteArray("\x01\x02\x40\x09\x40\x03\x07", 7) + data << false;
    QTest::newRow("frame in one last piece") << QByteArray("\x81\x81\x40\x03\x40\x03\x07", 7) + data << 9u
                                             << QByteArray("\x81\x81\x40\x03\x40\x03\x07", 7) + data << true;
    QTest::newRow("last piece numbered first, the frame stated longer") << QByteArray("\x81\x81\x40\x09\x40\x03\x07", 7) + data << 9u
                                                                        << QByteArray("\x81\x81\x40\x09\x40\x03\x07", 7) + data << true;
    QTest::newRow("packed, 2-byte time") << QByteArray("\xC0\x40\x03\x40\x50\x07", 6) + data << 1000u
                                         << QByteArray("\xC0\x40\x03\x44\x38\x07", 6) + data << true;
    QTest::newRow("packed, time crosses 2 bytes") << QByteArray("\xC0\x40\x03\x7E\x80\x07", 6) + data << 1000u
                                                  << QByteArray("\xC0\x40\x03\x00\x00\x42\x68\x07", 8) + data << true;
    QTest::newRow("packed, 4-byte time, high bit kept") << QByteArray("\xC0\x40\x03\x80\x01\x00\x00\x07", 8) + data << 1u
                                                        << QByteArray("\xC0\x40\x03\x80\x01\x00\x01\x07", 8) + data << true;
    QTest::newRow("two packed frames") << QByteArray("\xC0\x40\x03\x40\x00\x01", 6) + data + QByteArray("\xC0\x40\x03\x7F\xFF\x02", 6) + data
                                       << 1u << QByteArray("\xC0\x40\x03\x40\x01\x01", 6) + data
                                                     + QByteArray("\xC0\x40\x03\x00\x00\x40\x00\x02", 8) + data << true;
    QTest::newRow("packed frame past the end") << QByteArray("\xC0\x40\x09\x40\x00\x01", 6) + data << 1u << QByteArray() << false;
    QTest::newRow("packed, time lands on the 2-byte limit") << QByteArray("\xC0\x40\x03\x7F\xFE\x07", 6) + data << 1u
                                                           << QByteArray("\xC0\x40\x03\x7F\xFF\x07", 6) + data << true;
    QTest::newRow("packed, time lands on the 4-byte limit") << QByteArray("\xC0\x40\x03\x3F\xFF\xFF\xFE\x07", 8) + data << 1u
                                                           << QByteArray("\xC0\x40\x03\x3F\xFF\xFF\xFF\x07", 8) + data << true;
    QTest::newRow("packed, time past the 4-byte limit") << QByteArray("\xC0\x40\x03\x3F\xFF\xFF\xFF\x07", 8) + data << 1u
                                                       << QByteArray("too late") << true;
    QTest::newRow("packed, small time in 4 bytes") << QByteArray("\xC0\x40\x03\x00\x00\x00\x05\x07", 8) + data << 1u
                                                << QByteArray("\xC0\x40\x03\x00\x00\x00\x06\x07", 8) + data << true;
    QTest::newRow("a frame's last piece, then a packed frame")
        << QByteArray("\x81\x81\x40\x03\x40\x03\x07", 7) + data + QByteArray("\xC0\x40\x03\x40\x50\x07", 6) + data << 1000u
        << QByteArray("\x81\x81\x40\x03\x40\x03\x07", 7) + data + QByteArray("\xC0\x40\x03\x44\x38\x07", 6) + data << true;
    QTest::newRow("a later last piece, then a packed frame")
        << QByteArray("\x81\x02\x40\x09\x40\x03\x07", 7) + data + QByteArray("\xC0\x40\x03\x40\x50\x07", 6) + data << 1000u
        << QByteArray("\x81\x02\x40\x09\x40\x03\x07", 7) + data + QByteArray("\xC0\x40\x03\x44\x38\x07", 6) + data << false;
    QTest::newRow("a frame's last piece, then a packed frame that grows")
        << QByteArray("\x81\x81\x40\x03\x40\x03\x07", 7) + data + QByteArray("\xC0\x40\x03\x7F\xFF\x02", 6) + data << 1u
        << QByteArray("\x81\x81\x40\x03\x40\x03\x07", 7) + data + QByteArray("\xC0\x40\x03\x00\x00\x40\x00\x02", 8) + data << true;
    QTest::newRow("picture number missing") << QByteArray("\xC0\x40\x00\x40\x05", 5) << 1u << QByteArray() << false;
    QTest::newRow("number cut short") << QByteArray("\xC0\x00\x00", 3) << 1u << QByteArray() << false;
    QTest::newRow("a packed frame, then a length cut short") << QByteArray("\xC0\x40\x03\x40\x50\x07", 6) + data + QByteArray("\xC0\x00", 2)
                                                             << 1u << QByteArray() << false;
    QTest::newRow("4-byte number cut short at the end") << QByteArray("\xC0\x00\x00\x03", 4) << 1u << QByteArray() << false;
    QTest::newRow("4-byte length cut short before a whole frame") << QByteArray("\xC0\x00\x40\x00", 4) << 1u << QByteArray() << false;
    QTest::newRow("number of one byte") << QByteArray("\xC0\x40", 2) << 1u << QByteArray() << false;
    QTest::newRow("whole frame, its sequence number missing") << QByteArray("\x40", 1) << 1u << QByteArray() << false;
    QTest::newRow("last piece, its time cut to a byte") << QByteArray("\x81\x81\x40\x03\x40", 5) << 9u << QByteArray() << false;
}

void JoinerTest::videoPayload()
{
    QFETCH(QByteArray, payload);
    QFETCH(quint32, shift);
    QFETCH(QByteArray, expected);
    QFETCH(bool, startsFrame);
    std::vector<rm::rv::Piece> pieces;
    const std::vector<uint8_t> exact(payload.begin(), payload.end()); // a read past it is seen by the sanitizer
    const uint8_t *bytes = exact.data();
    QCOMPARE(rm::rv::parse(bytes, size_t(payload.size()), pieces), !expected.isEmpty());
    if (expected.isEmpty())
        return;
    QCOMPARE(rm::rv::startsFrame(pieces), startsFrame);
    bool tooLate = true;
    const size_t grows = rm::rv::growth(pieces, shift, tooLate);
    QCOMPARE(tooLate, expected == "too late");
    if (tooLate)
        return;
    QCOMPARE(qsizetype(grows), expected.size() - payload.size());
    QByteArray out(expected.size(), '\0');
    QCOMPARE(qsizetype(rm::rv::shifted(bytes, size_t(payload.size()), pieces, shift,
                                       reinterpret_cast<uint8_t *>(out.data()))), expected.size());
    QCOMPARE(out.toHex(), expected.toHex());
}

void JoinerTest::packetsCopiedAsTheyAre()
{
    const QString out = clip(QStringLiteral("bytes.rm"));
    QCOMPARE(runProgram(kJoiner, {"-i", clip("v1.rm"), "-i", clip("v2.rm"), "-o", out}).exitCode, 0);
    const QByteArray joined = readAll(out);
    QCOMPARE(packetsOf(joined), packetsOf(readAll(clip("v1.rm"))) + packetsOf(readAll(clip("v2.rm"))));
    // A clip whose recorder never filled in its packet count: every packet still goes in.
    QByteArray uncounted = readAll(clip("v2.rm"));
    const qsizetype dataAt = chunkAt(uncounted, "DATA");
    QCOMPARE(chunkAt(uncounted, "INDX"), -1);
    put32(uncounted, dataAt + 4, quint32(uncounted.size() - dataAt)); // its packets run to the end of the file
    put32(uncounted, dataAt + 10, 0);
    writeAll(clip("v2-uncounted.rm"), uncounted);
    QCOMPARE(runProgram(kJoiner, {"-i", clip("v1.rm"), "-i", clip("v2-uncounted.rm"), "-o", out + "2"}).exitCode, 0);
    QCOMPARE(packetsOf(readAll(out + "2")), packetsOf(joined));
    // One whose header points past its data (an editor took out a chunk before
    // it and left the offset): the packets are read where the DATA chunk is.
    QByteArray unpointed = readAll(clip("v2.rm"));
    put32(unpointed, chunkAt(unpointed, "PROP") + 10 + 32, quint32(chunkAt(unpointed, "DATA") + 100));
    writeAll(clip("v2-unpointed.rm"), unpointed);
    QCOMPARE(runProgram(kJoiner, {"-i", clip("v1.rm"), "-i", clip("v2-unpointed.rm"), "-o", out + "4"}).exitCode, 0);
    QCOMPARE(packetsOf(readAll(out + "4")), packetsOf(joined));
    // Audio whose first bytes happen to read as an event's times (silence at a
    // clip's start) is audio all the same, copied as it is.
    QByteArray quiet = readAll(clip("a1.rm"));
    quiet.replace(chunkAt(quiet, "DATA") + 18 + 12 + 2, 8, QByteArray(8, '\0'));
    writeAll(clip("a1-quiet.rm"), quiet);
    QCOMPARE(runProgram(kJoiner, {"-i", clip("a1.rm"), "-i", clip("a1-quiet.rm"), "-o", out + "5"}).exitCode, 0);
    QCOMPARE(packetsOf(readAll(out + "5")), packetsOf(readAll(clip("a1.rm"))) + packetsOf(quiet));
    // A clip larger than the reader's buffer goes in whole across its refills.
    QStringList many;
    for (int i = 0; i < 60; ++i)
        many << "-i" << clip("v1.rm");
    QCOMPARE(runProgram(kJoiner, many << "-o" << clip("big.rm")).exitCode, 0);
    QVERIFY(QFileInfo(clip("big.rm")).size() > 2 * (1 << 20));
    QCOMPARE(runProgram(kJoiner, {"-i", clip("big.rm"), "-i", clip("v2.rm"), "-o", out + "3"}).exitCode, 0);
    QCOMPARE(packetsOf(readAll(out + "3")), packetsOf(readAll(clip("big.rm"))) + packetsOf(readAll(clip("v2.rm"))));
    // 14.4 named "14_4" is cut to whole frames as under its other name "lpcJ".
    if (QFile::exists(clip("ra4-14_4-named-cut.ra"))) {
        const QString named = clip(QStringLiteral("named.ra")), other = clip(QStringLiteral("lpcJ.ra"));
        QCOMPARE(runProgram(kJoiner, {"-i", clip("ra4-14_4-named-cut.ra"), "-i", clip("ra4-14_4-named.ra"), "-o", named}).exitCode, 0);
        QCOMPARE(runProgram(kJoiner, {"-i", clip("ra4-14_4-cut.ra"), "-i", clip("ra4-14_4.ra"), "-o", other}).exitCode, 0);
        QCOMPARE(QFileInfo(named).size(), QFileInfo(other).size());
    }
    // Clips of headers alone join into a file of headers alone.
    const QString none = clip(QStringLiteral("no-packets.rm"));
    QCOMPARE(runProgram(kJoiner, {"-i", clip("a1-no-packets.rm"), "-i", clip("a1-no-packets.rm"), "-o", none}).exitCode, 0);
    QCOMPARE(packetsOf(readAll(none)), packetsOf(readAll(clip("a1-no-packets.rm"))));
    const QByteArray headersOnly = readAll(none); // with no index, the header points at none
    QCOMPARE(be32(headersOnly, chunkAt(headersOnly, "PROP") + 10 + 28), 0u);
    const QByteArray stated = readAll(clip("a1-no-packets.rm")); // its stream's rates and sizes as its producer stated them
    QCOMPARE(headersOnly.mid(streamHeader(headersOnly, 0) + 12, 16), stated.mid(streamHeader(stated, 0) + 12, 16));
    // A bare output name, as typed at a prompt, lands in the working folder.
    QProcess bare;
    bare.setWorkingDirectory(m_dir.path());
    bare.start(kJoiner, {"-i", clip("v1.rm"), "-o", "bare.rm"});
    QVERIFY(bare.waitForFinished() && bare.exitCode() == 0);
    QVERIFY(QFile::remove(clip("bare.rm")));

    // The header points at the data and the index, and counts the packets.
    const qsizetype prop = chunkAt(joined, "PROP");
    QVERIFY(prop >= 0);
    QCOMPARE(qsizetype(be32(joined, prop + 10 + 32)), chunkAt(joined, "DATA"));  // data offset
    QCOMPARE(qsizetype(be32(joined, prop + 10 + 28)), chunkAt(joined, "INDX"));  // index offset
    QCOMPARE(qsizetype(be32(joined, prop + 10 + 16)), packetsOf(joined).size()); // packet count
    // The second clip's packets start after the first clip's duration.
    const quint32 firstDuration = be32(readAll(clip("v1.rm")), chunkAt(readAll(clip("v1.rm")), "PROP") + 30);
    const qsizetype data = chunkAt(joined, "DATA");
    const int firstCount = int(packetsOf(readAll(clip("v1.rm"))).size());
    qsizetype pos = data + 18;
    for (int i = 0; i < firstCount; ++i)
        pos += qFromBigEndian<quint16>(joined.constData() + pos + 2);
    QVERIFY(be32(joined, pos + 6) >= firstDuration);

    // RealVideo 4 (.rmvb) joins packet for packet like its RealVideo 3 twin.
    if (QFile::exists(clip("helix-rv40.rmvb"))) {
        const QString helix = kSamples + "/helix11-rv30-cook.rm", rv40 = clip("helix-rv40.rmvb");
        QCOMPARE(runProgram(kJoiner, {"-i", helix, "-i", helix, "-o", clip("rv30x2.rm")}).exitCode, 0);
        QCOMPARE(runProgram(kJoiner, {"-i", rv40, "-i", rv40, "-o", clip("rv40x2.rmvb")}).exitCode, 0);
        QCOMPARE(packetsOf(readAll(clip("rv40x2.rmvb"))), packetsOf(readAll(clip("rv30x2.rm"))));
        // In packets of version 1, whose header is a byte longer, its frames move on in time the same.
        writeAll(clip("helix-v1.rm"), version1Packets(readAll(helix)));
        QCOMPARE(runProgram(kJoiner, {"-i", clip("helix-v1.rm"), "-i", clip("helix-v1.rm"), "-o", clip("helix-v1x2.rm")}).exitCode, 0);
        QCOMPARE(packetsOf(readAll(clip("helix-v1x2.rm"))), packetsOf(version1Packets(readAll(clip("rv30x2.rm")))));
    }
}

// What the joined header says against what its data holds, joined in memory.
// Every message has words in both languages, and the Japanese names what the
// English names (a third argument is an English plural ending).
void JoinerTest::messagesInBothLanguages()
{
    const auto english = qScopeGuard([] { rm::setJapanese(false); });
    const auto named = [](rm::Msg id, bool japanese) {
        rm::setJapanese(japanese);
        const QString text = QString::fromStdString(rm::say(id, {"<first>", "<second>", ""}));
        return QStringList{text.isEmpty() ? "(no words)" : "", text.contains("<first>") ? "1" : "", text.contains("<second>") ? "2" : ""};
    };
    for (int id = 0; id <= int(rm::Msg::Usage); ++id)
        if (rm::Msg(id) != rm::Msg::TooLarge32) // its argument is English words, left out of the Japanese
            QVERIFY2(named(rm::Msg(id), true) == named(rm::Msg(id), false), qPrintable(QString::number(id)));
    // An error the table does not name is still told in Japanese.
    rm::setJapanese(true);
    QVERIFY(QString::fromStdString(rm::systemText(ETXTBSY)).contains(QStringLiteral("番号 %1").arg(ETXTBSY)));
    // A variable set empty is no choice: the next one decides, the messages' before LANG.
    const QByteArray all = qgetenv("LC_ALL"), messages = qgetenv("LC_MESSAGES"), lang = qgetenv("LANG");
    const auto restore = qScopeGuard([&] {
        for (const auto &[name, value] : {std::pair{"LC_ALL", all}, std::pair{"LC_MESSAGES", messages}, std::pair{"LANG", lang}})
            value.isNull() ? qunsetenv(name) : qputenv(name, value);
    });
    qputenv("LC_ALL", "");
    qputenv("LC_MESSAGES", "ja_JP.UTF-8");
    qputenv("LANG", "C.UTF-8");
    rm::chooseLanguage();
    QCOMPARE(QString::fromStdString(rm::say(rm::Msg::Empty, {"x"})), QStringLiteral("x: 空のファイルです（0 バイト）"));
    // None set: English.
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        qunsetenv(name);
    rm::chooseLanguage();
    QCOMPARE(QString::fromStdString(rm::say(rm::Msg::Empty, {"x"})), QStringLiteral("x: empty file (0 bytes)"));
}

void JoinerTest::joinedHeaders_data()
{
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<int>("stream");       // the stream whose numbers are checked
    QTest::addColumn<qint64>("seam");      // its first time in the second clip; -1: not checked
    QTest::addColumn<qint64>("duration");  // of the whole file; -1: not checked
    QTest::addColumn<qint64>("eventStart");// first event start of the second clip, in tenths; -1: none
    // 14.4 runs at 1,000 bytes a second: 201 packets of 20 bytes make 4.02 s a clip.
    QTest::newRow("14.4 audio, times all 0, x2") << QStringList{clip("a144.rm"), clip("a144.rm")} << 0 << 4020ll << 8040ll << -1ll;
    QTest::newRow("14.4 audio, one time said twice, x2") << QStringList{clip("a144-timed.rm"), clip("a144-timed.rm")} << 0 << 4020ll << 8040ll << -1ll;
    QTest::newRow("rv20 and 14.4 x3") << QStringList{clip("v144.rm"), clip("v144.rm"), clip("v144.rm")} << 1 << 4020ll << 12060ll << -1ll;
    QTest::newRow("ac3 x3") << QStringList{clip("a1.rm"), clip("a2.rm"), clip("a3.rm")} << 0 << -1ll << -1ll << -1ll;
    QTest::newRow("version 1 packets x2") << QStringList{clip("a1-v1.rm"), clip("a1-v1.rm")} << 0 << -1ll << -1ll << -1ll;
    QTest::newRow("a stream starting at 0.5 s x2") << QStringList{clip("a1-starts-late.rm"), clip("a1-starts-late.rm")} << 0 << -1ll << -1ll << -1ll;
    QTest::newRow("video ending in decoding order x2") << QStringList{clip("v1-reordered.rm"), clip("v1-reordered.rm")} << 0 << 2020ll << 4040ll << -1ll;
    const QString p61 = kSamples + "/producer61-cook-event.rm", helix = kSamples + "/helix11-rv30-cook.rm";
    if (QFile::exists(p61)) {
        // The audio's last superblock ends at 18.201 s; events move by the nearest tenth (182).
        QTest::newRow("producer61 x2, not rounded to tenths") << QStringList{p61, p61} << 0 << 18201ll << -1ll << 158ll + 182;
        QTest::newRow("helix x2, packed video") << QStringList{helix, helix} << 1 << -1ll << -1ll << -1ll;
        QTest::newRow("helix x2, its first stream silent") << QStringList{clip("helix-mute.rm"), clip("helix-mute.rm")} << 1 << -1ll << -1ll << -1ll;
        QTest::newRow("helix x2, audio of another type") << QStringList{clip("helix-other-audio.rm"), clip("helix-other-audio.rm")}
                                                         << 1 << -1ll << -1ll << -1ll;
        QTest::newRow("producer61 stating 18.26 s x2, events rounded") << QStringList{clip("p61-18260.rm"), clip("p61-18260.rm")}
                                                                       << 0 << 18260ll << 36520ll << 158ll + 183;
        QTest::newRow("producer61 x2, ending on its event") << QStringList{clip("p61-late-event.rm"), clip("p61-late-event.rm")}
                                                            << 0 << 18301ll << 36602ll << 183ll + 183;
        QTest::newRow("producer61 x2, its last event running on") << QStringList{clip("p61-event-runs-on.rm"), clip("p61-event-runs-on.rm")}
                                                                  << 0 << 18300ll << 36600ll << 182ll + 183;
        QTest::newRow("producer61 x2, an event sent after its start") << QStringList{clip("p61-event-off-tenth.rm"), clip("p61-event-off-tenth.rm")}
                                                                       << 0 << 18201ll << -1ll << 158ll + 182;
        QTest::newRow("producer61 x2, an event sent a whole tenth after its start") << QStringList{clip("p61-event-tenth-late.rm"), clip("p61-event-tenth-late.rm")}
                                                                                   << 0 << 18201ll << -1ll << 158ll;
        QTest::newRow("producer61 x2, event numbers that are no times") << QStringList{clip("p61-foreign-event.rm"), clip("p61-foreign-event.rm")}
                                                                         << 0 << 18260ll << -1ll << 0x100000ll;
    }
}

void JoinerTest::joinedHeaders()
{
    QFETCH(QStringList, inputs);
    QFETCH(int, stream);
    QFETCH(qint64, seam);
    QFETCH(qint64, duration);
    QFETCH(qint64, eventStart);
    QString error;
    const QByteArray b = joinInMemory(inputs, error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QByteArray one = readAll(inputs.first());
    const qsizetype prop = chunkAt(b, "PROP") + 10, mdpr = streamHeader(b, stream) + 10;
    if (duration >= 0)
        QCOMPARE(qint64(be32(b, prop + 20)), duration);
    // How long a player fills its buffer first, and the file's flags: the first clip's.
    const qsizetype oneProp = chunkAt(one, "PROP") + 10;
    QCOMPARE(be32(b, prop + 24), be32(one, oneProp + 24));
    QCOMPARE(b.mid(prop + 38, 2), one.mid(oneProp + 38, 2));
    // Title, author, copyright and comment: the first clip's.
    const auto content = [](const QByteArray &file) {
        const qsizetype at = chunkAt(file, "CONT");
        return at < 0 ? QByteArray() : file.mid(at, be32(file, at + 4));
    };
    QCOMPARE(content(b), content(one));
    QCOMPARE(qsizetype(be32(b, 14)), chunks(b).size() - 1); // the header counts every chunk after it

    // A constant-rate audio stream: the rate its producer states, whatever its times say.
    const qsizetype stated = streamHeader(one, stream) + 10;
    if (mimeOf(b, stream).startsWith("audio/")) {
        QVERIFY2(qAbs(double(be32(b, mdpr + 6)) / be32(one, stated + 6) - 1) < 0.01, qPrintable(QString::number(be32(b, mdpr + 6))));
        QVERIFY(be32(b, mdpr + 2) <= be32(one, stated + 2) * 1.1);
    }
    // The file's rates: its streams' together, never a maximum below the average.
    quint64 sum = 0, peaks = 0;
    for (const auto &c : chunks(b))
        if (c.first == "MDPR") {
            QVERIFY(be32(b, c.second + 16) <= be32(b, c.second + 12));
            sum += be32(b, c.second + 16);
            peaks += be32(b, c.second + 12);
        }
    QVERIFY2(qAbs(double(be32(b, prop + 4)) / sum - 1) < 0.1, qPrintable(QString::number(be32(b, prop + 4))));
    QCOMPARE(quint64(be32(b, prop + 0)), qMax<quint64>(peaks, be32(b, prop + 4)));

    const QList<RmPacket> packets = packetList(b), first = packetList(one);
    for (const auto &c : chunks(b)) {
        const int number = c.first == "MDPR" ? qFromBigEndian<quint16>(b.constData() + c.second + 10) : -1;
        if (!mimeOf(b, number).startsWith("video/"))
            continue;
        // A video's peak: no more than the fullest 2 s of its packets hold
        // (bits a second: bytes times 4), with a quarter to spare for packets out of time order.
        qint64 fullest = 0, held = 0;
        for (qsizetype i = 0, from = 0; i < packets.size(); ++i) {
            held += packets[i].stream == number ? packets[i].payload.size() : 0;
            for (; packets[from].time + 2000 <= packets[i].time; ++from)
                held -= packets[from].stream == number ? packets[from].payload.size() : 0;
            fullest = qMax(fullest, held);
        }
        QVERIFY2(be32(b, c.second + 12) <= fullest * 5, qPrintable(QStringLiteral("%1 > %2").arg(be32(b, c.second + 12)).arg(fullest * 5)));
        // ...and no less than the fullest of the 2 s windows it is measured in.
        QHash<qint64, qint64> windows;
        for (const RmPacket &p : packets)
            windows[p.time / 2000] += p.stream == number ? p.payload.size() : 0;
        QVERIFY(qint64(be32(b, c.second + 12)) >= *std::max_element(windows.cbegin(), windows.cend()) * 4);
    }
    // Each stream's largest packet and the file's, over all the clips (payload, as producers count it).
    qsizetype largestOfAll = 0;
    for (const RmPacket &p : packets)
        largestOfAll = qMax(largestOfAll, p.payload.size());
    QCOMPARE(qsizetype(be32(b, prop + 8)), largestOfAll);
    qsizetype payloads = 0;
    for (const RmPacket &p : packets)
        payloads += p.payload.size();
    QCOMPARE(qsizetype(be32(b, prop + 12)), payloads / packets.size()); // the average, of all the clips
    for (const auto &c : chunks(b)) {
        if (c.first != "MDPR")
            continue;
        const int number = qFromBigEndian<quint16>(b.constData() + c.second + 10);
        qsizetype largest = 0, bytes = 0, count = 0;
        for (const RmPacket &p : packets)
            if (p.stream == number) {
                largest = qMax(largest, p.payload.size());
                bytes += p.payload.size();
                ++count;
            }
        QCOMPARE(qsizetype(be32(b, c.second + 20)), largest);
        QCOMPARE(be32(b, c.second + 28), be32(one, streamHeader(one, number) + 28)); // its start and preroll: the first clip's
        QCOMPARE(be32(b, c.second + 32), be32(one, streamHeader(one, number) + 32));
        if (count) // a stream without packets keeps what its producer stated
            QCOMPARE(qsizetype(be32(b, c.second + 24)), bytes / count);
    }
    qsizetype all = 0;
    for (const QString &in : inputs)
        all += packetList(readAll(in)).size();
    QCOMPARE(packets.size(), all);
    qsizetype inFirst = 0;
    for (const RmPacket &p : first)
        inFirst += p.stream == stream;
    qsizetype seen = 0;
    qint64 last = -1;
    for (const RmPacket &p : packets)
        if (p.stream == stream) {
            if (seam >= 0 && seen++ == inFirst)
                QCOMPARE(qint64(p.time), seam);
            last = p.time;
        }
    // Its times move on after the seam, also where its clips' own stand still.
    if (seam >= 0)
        QVERIFY2(last > (inputs.size() - 1) * seam, qPrintable(QString::number(last)));
    if (eventStart >= 0) {
        // An event's start and end move together, by the seam's nearest tenth.
        QList<quint32> starts, ends;
        for (const RmPacket &p : packets)
            if (p.payload.size() >= 10 && mimeOf(b, p.stream) == "application/x-pn-realevent") {
                starts.append(be32(p.payload, 2));
                ends.append(be32(p.payload, 6));
            }
        QCOMPARE(qint64(starts.value(1)), eventStart);
        QCOMPARE(qint64(ends.value(1)) - ends.value(0), eventStart - starts.value(0));
    }
    // The index: a chain of chunks from the header's offset, one per stream
    // with packets, whose entries name a packet by offset, time and number.
    // Video: every frame that starts on a keyframe; other streams: each
    // clip's first keyframe, then one at least every 2 s.
    QHash<int, qsizetype> expected, listed;
    QHash<int, qint64> lastIndexed;
    qsizetype clipEnds = 0, k = 0;
    for (qsizetype i = 0; i < packets.size(); ++i) {
        const RmPacket &p = packets[i];
        if (i == clipEnds) {
            clipEnds += packetList(readAll(inputs[k++])).size();
            lastIndexed.clear();
        }
        if (mimeOf(b, p.stream).startsWith("video/")) {
            std::vector<rm::rv::Piece> pieces;
            expected[p.stream] += p.keyframe
                                  && rm::rv::parse(reinterpret_cast<const uint8_t *>(p.payload.constData()), size_t(p.payload.size()), pieces)
                                  && rm::rv::startsFrame(pieces);
        } else if (p.keyframe && (!lastIndexed.contains(p.stream) || p.time >= lastIndexed[p.stream] + 2000)) {
            ++expected[p.stream];
            lastIndexed[p.stream] = p.time;
        }
    }
    int chunksInChain = 0;
    for (qsizetype at = be32(b, prop + 28); at > 0 && chunksInChain < 64; at = be32(b, at + 16), ++chunksInChain) {
        QCOMPARE(b.mid(at, 4), QByteArray("INDX"));
        const int number = qFromBigEndian<quint16>(b.constData() + at + 14);
        const quint32 entries = be32(b, at + 10);
        QCOMPARE(be32(b, at + 4), 20 + 14 * entries);
        for (quint32 e = 0; e < entries; ++e) {
            const qsizetype entry = at + 20 + 14 * e;
            const quint32 ordinal = be32(b, entry + 10);
            QVERIFY(ordinal < quint32(packets.size()));
            const RmPacket &p = packets[ordinal];
            QCOMPARE(qsizetype(be32(b, entry + 6)), p.at);
            QCOMPARE(be32(b, entry + 2), p.time);
            QCOMPARE(p.stream, number);
        }
        listed[number] = entries;
    }
    QCOMPARE(listed, expected);
}

// A stream silent in a later clip ends where its content ended, not where that clip starts.
void JoinerTest::silentStreamKeepsItsEnd()
{
    const QString helix = kSamples + "/helix11-rv30-cook.rm";
    if (!QFile::exists(helix))
        QSKIP("no producer's sample");
    QString error;
    const QByteArray alone = joinInMemory({helix}, error), then = joinInMemory({helix, clip("helix-mute.rm")}, error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(be32(then, streamHeader(then, 0) + 36), be32(alone, streamHeader(alone, 0) + 36));
}

void JoinerTest::refused_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("says");
    const QString a = clip("a1.rm");
    const QString out = clip("refused.rm");
    QTest::newRow("no input") << QStringList{"-o", out} << QByteArray("no input");
    QTest::newRow("no output") << QStringList{"-i", a} << QByteArray("no output");
    QTest::newRow("two outputs") << QStringList{"-i", a, "-o", out, "-o", out + "2"} << QByteArray("more than one output");
    QTest::newRow("unknown option") << QStringList{"-x", a, "-o", out} << QByteArray("unknown option -x");
    QTest::newRow("option without path") << QStringList{"-i", a, "-o"} << QByteArray("needs a path");
    QTest::newRow("missing input") << QStringList{"-i", clip("none.rm"), "-o", out} << QByteArray("No such file");
    QTest::newRow("missing input, in Japanese") << QStringList{"-i", clip("none.rm"), "-o", out}
                                                << QByteArray("none.rm: ファイルまたはフォルダーがありません");
    QTest::newRow("input is a folder") << QStringList{"-i", m_dir.path(), "-o", out} << QByteArray("is a folder");
    QTest::newRow("existing output") << QStringList{"-i", a, "-o", clip("a2.rm")} << QByteArray("already exists");
    QTest::newRow("existing output, before the work") << QStringList{"-i", clip("none.rm"), "-o", clip("a2.rm")}
                                                      << QByteArray("a2.rm: already exists");
    QTest::newRow("a link to nothing as output, before the work") << QStringList{"-i", clip("none.rm"), "-o", clip("dangling.rm")}
                                                                  << QByteArray("dangling.rm: already exists");
    QTest::newRow("existing output, in Japanese") << QStringList{"-i", a, "-o", clip("a2.rm")}
                                                  << QByteArray("a2.rm: すでにあります");
    QTest::newRow("streams differ") << QStringList{"-i", clip("v1.rm"), "-i", a, "-o", out} << QByteArray("a1.rm: its streams differ from those of " + clip("v1.rm").toUtf8() + ": 1 stream instead of 2 (no video stream)");
    QTest::newRow("codec differs") << QStringList{"-i", clip("v1.rm"), "-i", clip("v3.rm"), "-o", out}
                                   << QByteArray("v3.rm: its streams differ from those of " + clip("v1.rm").toUtf8()
                                                 + ": stream 0 (video/x-pn-realvideo) is RV20 instead of RV10");
    QTest::newRow("codec differs, in Japanese") << QStringList{"-i", clip("v1.rm"), "-i", clip("v3.rm"), "-o", out}
                                                << QByteArray("v3.rm: ストリームが " + clip("v1.rm").toUtf8()
                                                              + " と異なります: ストリーム 0（video/x-pn-realvideo）はRV10 ではなく RV20 です");
    QTest::newRow("FIFO as input") << QStringList{"-i", clip("fifo.rm"), "-o", out} << QByteArray("fifo.rm: not a regular file");
    const QString helix = kSamples + "/helix11-rv30-cook.rm";
    if (QFile::exists(kSamples + "/ra3-14_4-old-format.ra"))
        QTest::newRow("old RealAudio, then RealMedia")
            << QStringList{"-i", kSamples + "/ra3-14_4-old-format.ra", "-i", a, "-o", out}
            << QByteArray("a1.rm: not an old RealAudio file like the first input");
    if (QFile::exists(helix))
        QTest::newRow("producers' files of other streams")
            << QStringList{"-i", helix, "-i", kSamples + "/producer61-cook-event.rm", "-o", out}
            << QByteArray("other kinds of streams (no video stream, an extra event stream)");
    if (QFile::exists(clip("other-codec.ra")))
        QTest::newRow("old RealAudio of another codec")
            << QStringList{"-i", kSamples + "/ra3-14_4-old-format.ra", "-i", clip("other-codec.ra"), "-o", out}
            << QByteArray("28_8 instead of lpcJ");
    if (QFile::exists(clip("unknown-kind.rm"))) {
        QTest::newRow("a stream of a kind not known") << QStringList{"-i", clip("unknown-kind.rm"), "-i", clip("unknown-kind.rm"), "-o", out}
                                                      << QByteArray("stream 0 is of a kind that cannot be joined (video/x-pn-unknown-v)");
        QTest::newRow("a stream of a kind that only begins as a known one") << QStringList{"-i", clip("prefixed-kind.rm"), "-i", clip("prefixed-kind.rm"), "-o", out}
                                                                            << QByteArray("stream 0 is of a kind that cannot be joined (video/x-pn-realvideo-enc)");
        QTest::newRow("a stream of a kind not known, after audio") << QStringList{"-i", a, "-i", clip("unknown-kind.rm"), "-o", out}
                                                                   << QByteArray("3 streams instead of 1 (an extra other stream)");
    }
    if (QFile::exists(clip("two-rates-20k.rm")))
        QTest::newRow("broadcasts of other rates") << QStringList{"-i", clip("two-rates.rm"), "-i", clip("two-rates-20k.rm"), "-o", out}
                                                   << QByteArray("stream 4 (logical-audio/x-pn-multirate-realaudio) is grouping rates of 21, 20 kbit/s instead of 21, 32 kbit/s");
    if (QFile::exists(clip("two-rates.rm")))
        QTest::newRow("one rate, then a broadcast of two") << QStringList{"-i", clip("multirate-labels.rm"), "-i", clip("two-rates.rm"), "-o", out}
                                                           << QByteArray("5 streams instead of 3 (an extra audio stream)"); // the group is no kind of its own
    if (QFile::exists(clip("helix-no-fileinfo.rm"))) // file properties are of no kind
        QTest::newRow("one without its file properties") << QStringList{"-i", helix, "-i", clip("helix-no-fileinfo.rm"), "-o", out}
                                                         << QByteArray("2 streams instead of 3\n");
    if (QFile::exists(clip("helix-rv40.rmvb")))
        QTest::newRow("RV30 then RV40") << QStringList{"-i", helix, "-i", clip("helix-rv40.rmvb"), "-o", out}
                                        << QByteArray("stream 0 (video/x-pn-realvideo) is RV40 instead of RV30");
    QTest::newRow("RealAudio 4 at another rate") << QStringList{"-i", clip("ra4-dnet.ra"), "-i", clip("ra4-dnet-48k.ra"), "-o", out}
                                                 << QByteArray("ra4-dnet-48k.ra: its audio settings differ from those of " + clip("ra4-dnet.ra").toUtf8() + " (48000 Hz instead of 44100 Hz)");
    QTest::newRow("RealAudio 4 of other channels") << QStringList{"-i", clip("ra4-dnet.ra"), "-i", clip("ra4-dnet-stereo.ra"), "-o", out}
                                                   << QByteArray("(2 channels instead of 1)");
    QTest::newRow("RealAudio 4 of another flavour") << QStringList{"-i", clip("ra4-dnet.ra"), "-i", clip("ra4-dnet-flavour.ra"), "-o", out}
                                                    << QByteArray("(other codec settings)");
    if (QFile::exists(clip("ra4-14_4.ra")))
        QTest::newRow("RealAudio 4 of another codec") << QStringList{"-i", clip("ra4-14_4.ra"), "-i", clip("ra4-dnet.ra"), "-o", out}
                                                      << QByteArray("(dnet instead of lpcJ)");
    if (QFile::exists(clip("ra4-two-versions.ra")))
        QTest::newRow("RealAudio 4 stating version 5 within") << QStringList{"-i", clip("ra4-two-versions.ra"), "-o", out}
                                                              << QByteArray("ra4-two-versions.ra: truncated file (the header runs past the end)");
    if (QFile::exists(clip("ra4-short-header.ra"))) {
        QTest::newRow("RealAudio 4 header too short for its fields") << QStringList{"-i", clip("ra4-short-header.ra"), "-o", out}
                                                                      << QByteArray("ra4-short-header.ra: truncated file (the header runs past the end)");
        QTest::newRow("RealAudio 3 of another frame size") << QStringList{"-i", kSamples + "/ra3-14_4-old-format.ra", "-i", clip("ra3-other-frame.ra"), "-o", out}
                                                           << QByteArray("(other rate or frame size)");
        QTest::newRow("RealAudio 3 cut short") << QStringList{"-i", clip("ra3-cut.ra"), "-o", out} << QByteArray("ra3-cut.ra: truncated file (335580 of 335680 data bytes)");
    }
    QTest::newRow("RealAudio 4 of frame size 0") << QStringList{"-i", clip("ra4-no-frame.ra"), "-o", out}
                                                 << QByteArray("its audio settings cannot describe its data (no frame size)");
    if (QFile::exists(clip("ra4-14_4.ra")))
        QTest::newRow("RealAudio 4, then 3") << QStringList{"-i", clip("ra4-14_4.ra"), "-i", kSamples + "/ra3-14_4-old-format.ra", "-o", out}
                                             << QByteArray("(RealAudio 3 instead of RealAudio 4)");
    if (QFile::exists(clip("helix-remux.rm"))) {
        QTest::newRow("cook without frame sizes") << QStringList{"-i", clip("helix-remux.rm"), "-o", out}
                                                  << QByteArray("helix-remux.rm: the audio settings of stream 1 cannot describe its packets (no frame size)");
        QTest::newRow("sipr without frame sizes") << QStringList{"-i", clip("sipr-remux.rm"), "-o", out}
                                                  << QByteArray("sipr-remux.rm: the audio settings of stream 1 cannot describe its packets (no frame size)");
        QTest::newRow("cook of coded frame size 0") << QStringList{"-i", clip("helix-no-coded-frame.rm"), "-o", out}
                                                    << QByteArray("helix-no-coded-frame.rm: the audio settings of stream 1 cannot describe its packets (no frame size)");
        QTest::newRow("cook sub-packets of 0 bytes") << QStringList{"-i", helix, "-i", clip("helix-no-subpackets.rm"), "-o", out}
                                                     << QByteArray("(sub-packets of 0 bytes in frames of 600)");
    }
    QTest::newRow("picture size differs") << QStringList{"-i", clip("v1.rm"), "-i", clip("v-small.rm"), "-o", out}
                                          << QByteArray("stream 0 (video/x-pn-realvideo) is 176x96 instead of 176x144");
    QTest::newRow("a video packet outgrowing 64 KiB") << QStringList{"-i", clip("v1-full-packet.rm"), "-i", clip("v1-full-packet.rm"), "-o", out}
                                                      << QByteArray("v1-full-packet.rm: a video packet would grow past the 64 KiB");
    QTest::newRow("a video packet growing to 64 KiB") << QStringList{"-i", clip("v1-nearly-full-packet.rm"), "-i", clip("v1-nearly-full-packet.rm"), "-o", out}
                                                      << QByteArray("v1-nearly-full-packet.rm: a video packet would grow past the 64 KiB");
    QTest::newRow("a stream numbered otherwise") << QStringList{"-i", a, "-i", clip("a1-stream-1.rm"), "-o", out}
                                                 << QByteArray("stream 0 (audio/x-pn-realaudio) is numbered 1 instead of 0");
    QTest::newRow("stereo after mono") << QStringList{"-i", a, "-i", clip("a-stereo.rm"), "-o", out}
                                       << QByteArray("stream 0 (audio/x-pn-realaudio) is 2 channels instead of 1");
    if (QFile::exists(clip("multirate-labels.rm")))
        QTest::newRow("a stream of another type") << QStringList{"-i", helix, "-i", clip("multirate-labels.rm"), "-o", out}
                                                  << QByteArray("stream 0 (video/x-pn-realvideo) is of type video/x-pn-multirate-realvideo instead of video/x-pn-realvideo");
    QTest::newRow("5.1 after mono") << QStringList{"-i", a, "-i", clip("a-six.rm"), "-o", out}
                                    << QByteArray("stream 0 (audio/x-pn-realaudio) is 6 channels instead of 1");
    QTest::newRow("sample rate differs") << QStringList{"-i", a, "-i", clip("a48k.rm"), "-o", out}
                                         << QByteArray("stream 0 (audio/x-pn-realaudio) is 48000 Hz instead of 44100 Hz");
    QTest::newRow("bit rate differs") << QStringList{"-i", a, "-i", clip("a_other_rate.rm"), "-o", out} << QByteArray("a_other_rate.rm: its streams differ");
    QTest::newRow("times past 32 bits") << QStringList{"-i", clip("a1-47-days.rm"), "-i", clip("a1-47-days.rm"), "-o", out}
                                        << QByteArray("too large (the duration beyond 32 bits)");
    writeAll(clip("ra3-short-header.ra"), QByteArray(".ra\xfd\0\x03\0\x04", 8) + QByteArray(20, '\0'));
    QTest::newRow("RealAudio 3 stating a header shorter than its settings") << QStringList{"-i", clip("ra3-short-header.ra"), "-o", out}
                                                                          << QByteArray("ra3-short-header.ra: truncated file (the header runs past the end)");
    // Clips of 2.1 GiB each, their data mostly a hole in the file: two are refused before anything is written.
    for (const QString &name : {QStringLiteral("a1.rm"), QStringLiteral("ra4-dnet.ra")}) {
        const QString big = clip(QStringLiteral("2g-") + name);
        QVERIFY(QFile::exists(big) || (QFile::copy(clip(name), big) && QFile::resize(big, 0x86000000)));
        QTest::newRow(qPrintable(name + QStringLiteral(" twice past 4 GiB"))) << QStringList{"-i", big, "-i", big, "-o", out}
                                                                             << QByteArray("too large (over 4 GiB");
    }
    QTest::newRow("output folder missing") << QStringList{"-i", a, "-o", clip("no/such/out.rm")} << QByteArray("No such file");
}

void JoinerTest::refused()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, says);
    const QByteArray before = readAll(clip("a2.rm"));
    const bool japanese = QString::fromUtf8(says).size() != says.size(); // said in Japanese
    const Run r = runProgram(kJoiner, args, false, japanese);
    const auto removeMade = qScopeGuard([this] { QFile::remove(clip("refused.rm")); }); // one wrong join fails one row
    // A mistake in the command line itself ends with 2, any other refusal with 1.
    static const QStringList usage{"no input", "no output", "two outputs", "unknown option", "option without path"};
    QCOMPARE(r.exitCode, usage.contains(QLatin1String(QTest::currentDataTag())) ? 2 : 1);
    QVERIFY2(r.err.contains(says), r.err.constData());
    QCOMPARE(r.err.count('\n'), 1);
    QVERIFY(!QFile::exists(clip("refused.rm")));
    QCOMPARE(readAll(clip("a2.rm")), before);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Hidden | QDir::Files).filter(".rme"), QStringList());
}

void JoinerTest::logicalStreams_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("other");
    QTest::addColumn<QList<quint32>>("otherRates"); // of its physical streams 1 and 2, in bits a second
    QTest::addColumn<QString>("says");              // empty: they join
    const QByteArray groups = logicalTable({1, 2}, {500, 500}, {0, 1, 1, 0});
    const QList<quint32> rates{20000, 32000};
    QTest::newRow("the same groups, other offsets") << groups << logicalTable({1, 2}, {9000, 9000}, {0, 1, 1, 0}) << rates << QString();
    QTest::newRow("another rule map") << groups << logicalTable({1, 2}, {500, 500}, {0, 1, 0, 1}) << rates
                                      << "stream 3 (logical-audio/x-pn-multirate-realaudio) is grouping other streams";
    QTest::newRow("one rate fewer") << groups << logicalTable({1}, {500}, {0, 0, 0, 0}) << rates
                                    << "is grouping rates of 20 kbit/s instead of 20, 32 kbit/s";
    QTest::newRow("other rates") << groups << groups << QList<quint32>{20000, 44100}
                                 << "is grouping rates of 20, 44 kbit/s instead of 20, 32 kbit/s";
    // A table of a version not known is never read as one of version 0: only the same bytes join.
    const auto version1 = [](QByteArray t) { return t.replace(4, 2, QByteArray("\0\1", 2)); };
    QTest::newRow("a table of a version not known") << version1(groups) << version1(logicalTable({1, 2}, {9000, 9000}, {0, 1, 1, 0}))
                                                    << rates << "is other codec settings";
    QTest::newRow("its rule table cut short") << groups << groups.chopped(4) << rates << "instead of 20, 32 kbit/s"; // refused, never read past
}

void JoinerTest::logicalStreams()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, other);
    QFETCH(QList<quint32>, otherRates);
    QFETCH(QString, says);
    rm::Header a, b;
    for (auto [header, table, rates] : {std::tuple{&a, first, QList<quint32>{20000, 32000}}, std::tuple{&b, other, otherRates}}) {
        for (quint16 n : {1, 2}) {
            rm::Stream physical;
            physical.number = n;
            physical.mime = "audio/x-pn-multirate-realaudio";
            physical.avgBitRate = rates[n - 1];
            physical.typeSpecific = {uint8_t(rates[n - 1] >> 8)}; // a codec's settings follow its rate
            header->streams.push_back(physical);
        }
        rm::Stream logical;
        logical.number = 3;
        logical.mime = "logical-audio/x-pn-multirate-realaudio";
        logical.typeSpecific.assign(table.begin(), table.end());
        header->streams.push_back(logical);
    }
    const QString why = QString::fromStdString(rm::streamDifference(a, b));
    QVERIFY2(says.isEmpty() ? why.isEmpty() : why.contains(says), qPrintable(why));
}

// A RealAudio 4 header in a stream that ends with its settings: rate and
// channels, no names, and nothing read past its end.
void JoinerTest::audioSettingsEndTheHeader()
{
    rm::Stream stream;
    stream.mime = "audio/x-pn-realaudio";
    QByteArray settings = QByteArray(".ra\xfd\0\x04", 6) + QByteArray(50, '\0');
    settings.replace(48, 8, QByteArray("\x7d\0\0\0\0\x10\0\x02", 8)); // 32000 Hz, 16 bits, 2 channels
    stream.typeSpecific.assign(settings.begin(), settings.end());
    const rm::StreamSummary summary = rm::summarizeStream(stream);
    QCOMPARE(summary.sampleRate, 32000u);
    QCOMPARE(summary.channels, 2);
    QVERIFY(summary.codec.empty() && summary.interleaver.empty());
}

void JoinerTest::badFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("says");
    const QByteArray good = readAll(clip("a1.rm"));
    const qsizetype prop = chunkAt(good, "PROP");
    const qsizetype mdpr = chunkAt(good, "MDPR");
    const qsizetype data = chunkAt(good, "DATA");
    QVERIFY(prop > 0 && mdpr > 0 && data > 0);

    QTest::newRow("empty") << QByteArray() << QByteArray("empty file");
    QTest::newRow("ram metafile") << QByteArray("rtsp://example.invalid/clip.rm\r\n") << QByteArray("text file");
    QTest::newRow("the RealAudio signature and little else") << QByteArray(".ra\xfd\0\x04", 6) << QByteArray("RealAudio file");
    QTest::newRow("the first six bytes of one") << QByteArray(".RMF\0\0", 6) << QByteArray("bad.rm: not a RealMedia file");
    QTest::newRow("ram metafile of one short line") << QByteArray("pnm://h/a.rm\n") << QByteArray("text file");
    QTest::newRow("ram metafile with tabs") << QByteArray("# clips\r\n\trtsp://example.invalid/clip.rm\r\n") << QByteArray("text file");
    QTest::newRow("RealAudio version 5") << QByteArray(".ra\xfd\x00\x05\x00\x00.ra5", 12) << QByteArray("RealAudio");
    QTest::newRow("something else") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\0", 12) << QByteArray("not a RealMedia file");
    QTest::newRow("something else, without a zero byte") << QByteArray("\xff\xfb\x90\x64\x1c\x1d\x1e\x1f", 8) << QByteArray("bad.rm: not a RealMedia file");
    QTest::newRow("header only") << good.left(prop + 20) << QByteArray("truncated");
    QTest::newRow("headers, no data") << good.left(data) << QByteArray("no media data");
    QTest::newRow("its first chunk alone") << good.left(prop) << QByteArray("truncated file (a chunk header runs past the end)");
    QTest::newRow("truncated data") << good.left(data + 18 + 700) << QByteArray("truncated file (a packet runs past the end)");
    QByteArray shortData = good;
    put32(shortData, data + 4, 10);
    QTest::newRow("DATA chunk shorter than its header") << shortData << QByteArray("a DATA chunk is shorter than its header");
    QTest::newRow("truncated in a packet header") << good.left(data + 18 + 5) << QByteArray("truncated");

    QByteArray b = good;
    put32(b, prop + 4, 4);
    QTest::newRow("chunk size below header") << b << QByteArray("below its own header");
    b = good;
    put32(b, mdpr + 4, 0x7fffffff);
    QTest::newRow("chunk size past the end") << b << QByteArray("chunk MDPR points past the end");
    b = good;
    put32(b, 4, 0x7fffffff);
    QTest::newRow("its first chunk past the end") << b << QByteArray("bad.rm: truncated file (chunk .RMF points past the end)");
    b = good;
    b.insert(data, QByteArray("\x01\x02XY\x7f\xff\xff\xff\0\0", 10));
    QTest::newRow("a chunk of no name past the end") << b << QByteArray("chunk ??XY points past the end");
    b = good;
    put32(b, data + 4, 0x7fffffff);
    put32(b, data + 10, 0); // and no count of packets to go by
    QTest::newRow("DATA past the end, counting none") << b << QByteArray("chunk DATA points past the end");
    b = good;
    b[prop + 10 + 36] = 0; // num_streams
    b[prop + 10 + 37] = 0;
    QTest::newRow("no streams") << b << QByteArray("no streams");
    b = good;
    b[prop + 10 + 36] = char(0x13);
    b[prop + 10 + 37] = char(0x88);
    QTest::newRow("thousands of streams") << b << QByteArray("5000 streams");
    b = good;
    b.insert(mdpr, good.mid(mdpr, be32(good, mdpr + 4)).repeated(255)); // 256 stream headers in all
    QTest::newRow("more stream headers than streams can be") << b << QByteArray("bad.rm: too many MDPR chunks");
    b = good;
    b[mdpr + 9] = 1;
    QTest::newRow("stream header of version 1") << b << QByteArray("MDPR has an unknown version");
    b = good;
    b.insert(mdpr, good.mid(prop, be32(good, prop + 4)));
    QTest::newRow("two PROP chunks") << b << QByteArray("more than one PROP chunk");
    b = good;
    b[prop + 10 + 37] = 2;
    QTest::newRow("stream count mismatch") << b << QByteArray("claims 2 streams");
    b[prop + 10 + 37] = char(255);
    QTest::newRow("the most streams, but one described") << b << QByteArray("PROP claims 255 streams but 1 are described");
    b = good;
    QByteArray another = good.mid(mdpr, be32(good, mdpr + 4));
    another[11] = 1; // stream 1
    QTest::newRow("more streams described than claimed") << b.insert(mdpr, another) << QByteArray("PROP claims 1 streams but 2 are described");
    b = good;
    b[data + 18 + 2] = 0;
    b[data + 18 + 3] = 0;
    QTest::newRow("packet length zero") << b << QByteArray("length field is too small");
    b = good;
    b[data + 18 + 2] = char(0xff);
    b[data + 18 + 3] = char(0xff);
    QTest::newRow("packet length too large") << b << QByteArray("a packet runs past the end");
    b = good;
    b[data + 18 + 5] = 9;
    QTest::newRow("undeclared stream") << b << QByteArray("undeclared stream");
    b = good;
    b[data + 18 + 1] = 2;
    QTest::newRow("unknown packet version") << b << QByteArray("unknown version 2");
    b = readAll(clip("a1-v1.rm"));
    b[chunkAt(b, "DATA") + 18 + 2] = 0;
    b[chunkAt(b, "DATA") + 18 + 3] = 12; // its header alone takes 13
    QTest::newRow("version 1 packet shorter than its header") << b << QByteArray("length field is too small");
    b = good;
    put32(b, mdpr + 10 + 30 + 1 + good[mdpr + 40] + 1 + good[mdpr + 41 + good[mdpr + 40]], 0x00ffffff);
    QTest::newRow("type data past its chunk") << b << QByteArray("shorter than its fields");
    b = good;
    b.replace(prop, 4, "RJMD"); // a chunk of another name in its place
    QTest::newRow("no file properties") << b << QByteArray("bad.rm: no PROP chunk");
    b = good;
    b.replace(prop, 4, "INDX");
    QTest::newRow("an index among the headers") << b << QByteArray("chunk INDX where the header should be");
    QByteArray big(0x1100000, '\0'); // 17 MiB
    big.replace(0, 4, "CONT");
    put32(big, 4, quint32(big.size()));
    b = good;
    QTest::newRow("a header chunk of 17 MiB") << b.insert(data, big) << QByteArray("header chunk CONT is implausibly large");
    b = readAll(clip("v144.rm")); // video and audio, numbered 0 and 1
    for (const auto &c : chunks(b))
        if (c.first == "MDPR")
            qToBigEndian<quint16>(0, b.data() + c.second + 10);
    QTest::newRow("two streams of one number") << b << QByteArray("two streams share the number 0");
}

void JoinerTest::badFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, says);
    const QString bad = clip(QStringLiteral("bad.rm"));
    writeAll(bad, bytes);
    const QString out = clip(QStringLiteral("from bad.rm"));
    QFile::remove(out);
    for (const QStringList &order : {QStringList{bad}, QStringList{clip("a1.rm"), bad}}) {
        QStringList args;
        for (const QString &in : order)
            args << "-i" << in;
        const Run r = runProgram(kJoiner, args << "-o" << out);
        QVERIFY(r.exitCode > 0);
        QVERIFY2(r.err.contains(says), r.err.constData());
        QVERIFY2(r.err.contains("bad.rm"), r.err.constData());
        QCOMPARE(r.err.count('\n'), 1);
        QVERIFY(!QFile::exists(out));
    }
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Hidden | QDir::Files).filter(".rme"), QStringList());
}

void JoinerTest::interruptedJoinLeavesNothing_data()
{
    QTest::addColumn<QString>("end");
    QTest::newRow("terminated") << "terminate";
    QTest::newRow("killed") << "kill";
    QTest::newRow("its name taken meanwhile") << "appear";
    QTest::newRow("its name taken meanwhile, its temporary named") << "appear named";
    QTest::newRow("its name taken meanwhile, on a drive without second names") << "appear on FAT";
    QTest::newRow("terminated as it takes its name") << "publish";
    QTest::newRow("terminated once it has its name") << "published";
    QTest::newRow("killed once its temporary is named") << "killed named";
}

void JoinerTest::interruptedJoinLeavesNothing()
{
    QFETCH(QString, end);
    const bool kill = end == QLatin1String("kill");
    // A clip of some megabytes, made by the joiner itself, in a folder of its
    // own; on a FAT drive (as CI mounts one) where the joiner names its temporary.
    const QString drive = qEnvironmentVariable("TAPEKNOT_TEST_FAT_DIR");
    if (kill && !drive.isEmpty())
        QSKIP("a kill cannot be caught: the named temporary is for the program that ran the joiner to remove");
    QTemporaryDir folder((drive.isEmpty() ? QDir::tempPath() : drive) + QStringLiteral("/interrupted-XXXXXX"));
    QStringList args;
    for (int i = 0; i < 60; ++i)
        args << "-i" << clip("v1.rm");
    const QString big = folder.filePath(QStringLiteral("big.rm"));
    // Made through a named temporary, as where nameless files cannot be made,
    // where earlier processes of the same number left two: they stay as
    // they were, beside the clip.
    QProcess maker;
    QProcessEnvironment named = faultEnvironment();
    named.insert(QStringLiteral("READFAULT_NO_TMPFILE"), QStringLiteral("1"));
    maker.setProcessEnvironment(named);
    maker.start(QStringLiteral("/bin/sh"), QStringList{"-c", "for n in 0 1; do printf old > \"$0/.rme$(printf %x $$)-$n.tmp\"; done && exec \"$@\"",
                                                       folder.path(), kJoiner} + args << "-o" << big);
    QVERIFY(maker.waitForFinished(60000));
    QVERIFY2(maker.exitCode() == 0, maker.readAllStandardError().constData());
    const QStringList before = entriesOf(folder.path());
    QCOMPARE(before.size(), 3);
    QVERIFY(before.contains(QStringLiteral("big.rm")));
    for (const QString &left : before.filter(QStringLiteral(".rme")))
        QCOMPARE(readAll(folder.filePath(left)), QByteArray("old"));

    args.clear();
    for (int i = 0; i < 60; ++i)
        args << "-i" << big;
    const QString out = folder.filePath(QStringLiteral("interrupted.rm"));
    QProcess p;
    if (end.startsWith(QLatin1String("appear"))) {
        // Someone saves a file of that name while the join runs: it stays theirs,
        // also where the finished file can only be renamed onto its name.
        QProcessEnvironment env = end == QLatin1String("appear") ? QProcessEnvironment::systemEnvironment() : faultEnvironment();
        if (end != QLatin1String("appear"))
            env.insert(QStringLiteral("READFAULT_NO_TMPFILE"), QStringLiteral("1"));
        if (end.endsWith(QLatin1String("FAT")))
            env.insert(QStringLiteral("READFAULT_NO_LINK"), QStringLiteral("link"));
        env.insert(QStringLiteral("RMEDITOR_PROGRESS"), QStringLiteral("1"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        p.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        p.start(kJoiner, args << "-o" << out);
        QVERIFY(p.waitForReadyRead(30000));
        ::kill(pid_t(p.processId()), SIGSTOP);
        writeAll(out, "theirs");
        ::kill(pid_t(p.processId()), SIGCONT);
        QVERIFY(p.waitForFinished(120000));
        // Progress at most ten times a second, however long the join.
        QVERIFY(p.readAllStandardOutput().count('\n') <= 2 + clock.elapsed() / 100);
        QCOMPARE(p.exitCode(), 1);
        QVERIFY2(p.readAllStandardError().contains("interrupted.rm: already exists (it appeared while joining)"), "not told why");
        QCOMPARE(readAll(out), QByteArray("theirs"));
        QCOMPARE(entriesOf(folder.path()), QStringList(before) << QStringLiteral("interrupted.rm"));
        return;
    }
    if (end == QLatin1String("killed named")) {
        // Whoever ran it removes what a kill leaves: the name reached them before a byte was written.
        QProcessEnvironment env = faultEnvironment();
        for (const char *fault : {"READFAULT_NO_TMPFILE", "RMEDITOR_PROGRESS"})
            env.insert(QLatin1String(fault), QStringLiteral("1"));
        env.insert(QStringLiteral("READFAULT_FDOPEN"), QStringLiteral("kill"));
        p.setProcessEnvironment(env);
        p.start(kJoiner, QStringList{"-i", big, "-o", out});
        QVERIFY(p.waitForFinished(60000));
        QStringList left = entriesOf(folder.path());
        for (const QString &was : before)
            left.removeOne(was);
        QCOMPARE(left.size(), 1);
        QVERIFY(p.readAllStandardOutput().contains("partial " + left.front().toUtf8() + '\n'));
        return;
    }
    if (kill) {
        p.start(kJoiner, args << "-o" << out);
        QVERIFY(p.waitForStarted());
        QTest::qWait(40);
        p.kill();
    } else if (end.startsWith(QLatin1String("publish"))) {
        // Where only a plain rename publishes it, over an empty file of the
        // name held for it: the signal comes between the two, or once the
        // finished file is there, which then stays.
        QProcessEnvironment env = faultEnvironment();
        for (const char *fault : {"READFAULT_NO_TMPFILE", "READFAULT_NO_LINK",
                                  end == QLatin1String("publish") ? "READFAULT_RENAME_SIGNAL" : "READFAULT_FOLDER_SYNC_SIGNAL"})
            env.insert(QLatin1String(fault), QStringLiteral("1"));
        p.setProcessEnvironment(env);
        p.start(kJoiner, QStringList{"-i", big, "-o", out});
    } else {
        // A temporary with a name, as on FAT drives, and the signal once it is there.
        QProcessEnvironment env = faultEnvironment();
        env.insert(QStringLiteral("READFAULT_NO_TMPFILE"), QStringLiteral("1"));
        env.insert(QStringLiteral("RMEDITOR_PROGRESS"), QStringLiteral("1"));
        p.setProcessEnvironment(env);
        p.start(kJoiner, args << "-o" << out);
        QVERIFY(p.waitForReadyRead(30000));
        const QString told = QString::fromLatin1(p.readAllStandardOutput()); // a line of its own, for the reader of lines
        QVERIFY2(QRegularExpression(QStringLiteral("^partial \\.rme[0-9a-f]+-[0-9]+\\.tmp\n")).match(told).hasMatch(), qPrintable(told));
        p.terminate();
    }
    QVERIFY(p.waitForFinished(60000));
    if (end == QLatin1String("published")) {
        QCOMPARE(p.exitCode(), 128 + SIGTERM);
        QCOMPARE(entriesOf(folder.path()), QStringList(before) << QStringLiteral("interrupted.rm"));
        QCOMPARE(packetsOf(readAll(out)), packetsOf(readAll(big)));
    } else if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) {
        QWARN("the join ended before it could be interrupted");
        QVERIFY(QFileInfo(out).size() > 60 * QFileInfo(big).size() / 2);
    } else {
        QCOMPARE(entriesOf(folder.path()), before);
        if (!kill) // as a shell tells of a program a signal ended
            QCOMPARE(p.exitCode(), 128 + SIGTERM);
    }
}

// Reads through the shared buffer, past it and back: each lands where the
// file's bytes are, and the position the progress is told from follows.
void JoinerTest::inputKeepsItsPlace()
{
    const size_t capacity = 1u << 16;
    QByteArray bytes(3 * capacity + 123, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 % 251);
    writeAll(clip("places.bin"), bytes);
    std::vector<uint8_t> buffer, got(2 * capacity);
    const std::unique_ptr<rm::Input> in = rm::openFileInput(clip("places.bin").toStdString(), buffer, capacity);
    for (const qint64 n : {qint64(10), qint64(capacity - 10), qint64(5), qint64(capacity), qint64(-5), qint64(5), qint64(-capacity - 9), qint64(capacity)}) {
        if (n < 0) // a seek back
            in->seek(in->tell() + n);
        const uint64_t at = in->tell();
        const size_t want = size_t(qAbs(n));
        QCOMPARE(in->read(got.data(), want), want);
        QCOMPARE(in->tell(), at + want);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(got.data()), qsizetype(want)), bytes.mid(qsizetype(at), qsizetype(want)));
    }
    // Packets seen in place across the buffer's end, then a seek back among them.
    in->seek(capacity - 100);
    uint64_t at = 0;
    for (const size_t n : {size_t(50), size_t(capacity - 100), size_t(200)}) {
        at = in->tell();
        const uint8_t *seen = in->view(n);
        QVERIFY(seen);
        QCOMPARE(in->tell(), at + n);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(seen), qsizetype(n)), bytes.mid(qsizetype(at), qsizetype(n)));
    }
    in->seek(at + 10);
    QCOMPARE(in->read(got.data(), 10), size_t(10));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(got.data()), 10), bytes.mid(qsizetype(at) + 10, 10));
    // The last packets end where a full buffer does; what follows them (an index) is read whole.
    in->seek(2 * capacity);
    QVERIFY(in->view(capacity));
    QCOMPARE(in->read(got.data(), 100), size_t(100));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(got.data()), 100), bytes.mid(3 * capacity, 100));
    // A clip that grows while it is read (a recording still going on) ends where it ended when opened.
    QFile growing(clip("places.bin"));
    QVERIFY(growing.open(QIODevice::Append) && growing.write(QByteArray(1000, 'z')) == 1000);
    growing.close();
    in->seek(uint64_t(bytes.size()) - 5);
    QCOMPARE(in->read(got.data(), 100), size_t(5));
    in->seek(uint64_t(bytes.size()) - 5);
    QVERIFY(in->view(2));
    QVERIFY(!in->view(4)); // seen whole or not at all
}

// A clip that cannot be read to its end (a failing disk, a share gone
// meanwhile): the join fails saying why, and leaves nothing.
void JoinerTest::readErrorEndsTheJoin_data()
{
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<QStringList>("clips"); // the second one fails
    QTest::addColumn<qint64>("after"); // bytes of the clip read before it
    QTest::addColumn<QByteArray>("says");
    const QStringList v{"v1.rm", "v2.rm"}, ra{"ra4-dnet.ra", "ra4-dnet-again.ra"};
    const qint64 half = QFileInfo(clip("v2.rm")).size() / 2;
    QTest::newRow("a read fails") << QByteArray("read") << v << half << QByteArray("v2.rm: Input/output error");
    QTest::newRow("the clip is cut short meanwhile") << QByteArray("cut") << v << half << QByteArray("v2.rm: truncated file (a packet ends early)");
    QTest::newRow("the clip is cut short in its header meanwhile") << QByteArray("cut") << v << qint64(40)
                                                                   << QByteArray("v2.rm ends early (truncated file)");
    QTest::newRow("an old RealAudio clip is cut short meanwhile") << QByteArray("cut") << ra << QFileInfo(clip(ra[1])).size() / 2
                                                                  << QByteArray("ra4-dnet-again.ra: truncated file (the data ends early)");
    QTest::newRow("no stream to write the output through") << QByteArray("fdopen") << v << half << QByteArray("io-error.rm: Cannot allocate memory");
    QTest::newRow("the output may grow no more") << QByteArray("write") << v << half << QByteArray("io-error.rm: cannot be written: File too large");
    QTest::newRow("the drive cannot keep it") << QByteArray("fsync") << v << half << QByteArray("io-error.rm: cannot be written: Input/output error");
    QTest::newRow("a FAT drive's rename fails") << QByteArray("rename") << v << half << QByteArray("io-error.rm: Input/output error");
    // Onto the empty file it holds the name with: nobody else's file is there.
    QTest::newRow("a drive that never renames onto a name") << QByteArray("EEXIST") << v << half << QByteArray("io-error.rm: Input/output error");
    QTest::newRow("a share that refuses the rename") << QByteArray("EACCES") << v << half << QByteArray("io-error.rm: Permission denied");
}

void JoinerTest::readErrorEndsTheJoin()
{
    QFETCH(QByteArray, fault);
    QFETCH(QStringList, clips);
    QFETCH(qint64, after);
    QFETCH(QByteArray, says);
    const QString out = clip(QStringLiteral("io-error.rm"));
    QProcessEnvironment env = faultEnvironment();
    env.insert(QStringLiteral("READFAULT_PATH"), QFileInfo(clip(clips[1])).canonicalFilePath());
    env.insert(QStringLiteral("READFAULT_AFTER"), QString::number(after));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    if (fault == "cut")
        env.insert(QStringLiteral("READFAULT_EOF"), QStringLiteral("1"));
    const bool renameFails = fault == "rename" || fault.startsWith('E'); // with EIO, or with the error named
    if (fault == "write" || fault == "fsync" || fault == "fdopen" || renameFails)
        env.remove(QStringLiteral("READFAULT_PATH"));
    if (fault == "fdopen")
        env.insert(QStringLiteral("READFAULT_FDOPEN"), QStringLiteral("fail"));
    if (fault == "fsync")
        env.insert(QStringLiteral("READFAULT_FSYNC"), QStringLiteral("1"));
    if (renameFails)
        for (const char *name : {"READFAULT_NO_TMPFILE", "READFAULT_NO_LINK", "READFAULT_RENAME"})
            env.insert(QString::fromLatin1(name), fault.startsWith('E') ? QString::fromLatin1(fault) : QStringLiteral("1"));
    QProcess joiner;
    joiner.setProcessEnvironment(env);
    const QStringList args{"-i", clip(clips[0]), "-i", clip(clips[1]), "-o", out};
    if (fault == "write") // a file-size limit as a full drive: writes fail part of the way
        joiner.start(QStringLiteral("/bin/sh"), QStringList{"-c", "ulimit -f 40 && exec \"$0\" \"$@\"", kJoiner} + args);
    else
        joiner.start(kJoiner, args);
    QVERIFY(joiner.waitForFinished(60000));
    const QByteArray said = joiner.readAllStandardError();
    QCOMPARE(joiner.exitCode(), 1);
    QVERIFY2(said.contains(says), said.constData());
    QVERIFY(!QFile::exists(out));
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Hidden | QDir::Files).filter(".rme"), QStringList());
}

// A clip's header is read twice, first for all clips, then with its data;
// one that changed in between is named as the one at fault.
void JoinerTest::clipChangedBetweenReads_data()
{
    QTest::addColumn<QStringList>("clips");
    QTest::addColumn<QString>("changedTo");
    QTest::addColumn<QString>("says");
    QTest::newRow("an old RealAudio clip cut in its header") << QStringList{"ra4-dnet.ra", "ra4-dnet-again.ra"} << QString()
                                                             << "ra4-dnet-again.ra: truncated file (the header runs past the end)";
    QTest::newRow("a clip saved over with other streams") << QStringList{"v1.rm", "v2.rm"} << "a1.rm"
                                                          << "v2.rm: its streams differ from those of";
}

void JoinerTest::clipChangedBetweenReads()
{
    QFETCH(QStringList, clips);
    QFETCH(QString, changedTo);
    QFETCH(QString, says);
    const QByteArray later = changedTo.isEmpty() ? readAll(clip(clips[1])).left(60) : readAll(clip(changedTo));
    QString error;
    QVERIFY(joinInMemory({clip(clips[0]), clip(clips[1])}, error, later).isEmpty());
    QVERIFY2(error.contains(QLatin1Char('/') + says), qPrintable(error));
}

void JoinerTest::helpOnRequest()
{
    const Run r = runProgram(kJoiner, {"-h"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.startsWith("usage: rmeditor -i IN"), r.out.constData()); // on standard output, to be read or paged
    QCOMPARE(r.err, QByteArray());
}

void JoinerTest::manyInputsInLittleMemory()
{
    // 2,000 inputs with 64 MiB of address space and 32 open files (a
    // sanitized build reserves terabytes of shadow memory: open files only).
    QStringList args;
    for (int i = 0; i < 2000; ++i)
        args << "-i" << clip("a1.rm");
    const QString out = clip(QStringLiteral("many.rm"));
#ifdef TAPEKNOT_SANITIZED
    const QString command = QStringLiteral("ulimit -n 32 && exec \"$0\" \"$@\"");
#else
    const QString command = QStringLiteral("ulimit -v 65536 -n 32 && exec \"$0\" \"$@\"");
#endif
    const Run r = runProgram(QStringLiteral("bash"), QStringList{"-c", command, kJoiner} + args + QStringList{"-o", out});
    QVERIFY2(r.exitCode == 0, r.said().constData());
    QCOMPARE(probe(out).packets.value(0), 2000 * probe(clip("a1.rm")).packets.value(0));
    QFile::remove(out);
}

void JoinerTest::progressFollowsTheWork_data()
{
    QTest::addColumn<QString>("each");
    QTest::addColumn<int>("times");
    QTest::newRow("RealMedia") << QStringLiteral("a1.rm") << 6000;
    QTest::newRow("old RealAudio") << QStringLiteral("ra4-dnet.ra") << 4000;
}

// A long join, paused now and then: the "progress" line after each pause
// tells the share of the work done, as the bytes written by then show it.
void JoinerTest::progressFollowsTheWork()
{
    QFETCH(QString, each);
    QFETCH(int, times);
    QStringList args;
    for (int i = 0; i < times; ++i)
        args << "-i" << clip(each);
    args << "-o" << clip("progress.rm");
    const auto removeOut = qScopeGuard([this] { QFile::remove(clip("progress.rm")); });
    QProcess joiner;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("RMEDITOR_PROGRESS"), QStringLiteral("1"));
    joiner.setProcessEnvironment(env);
    joiner.start(kJoiner, args);
    QVERIFY(joiner.waitForStarted());
    const pid_t pid = pid_t(joiner.processId());
    const double total = double(times) * QFileInfo(clip(each)).size();
    const auto written = [pid] {
        QFile io(QStringLiteral("/proc/%1/io").arg(pid));
        const QByteArray text = io.open(QIODevice::ReadOnly) ? io.readAll() : QByteArray();
        const qsizetype at = text.indexOf("wchar: ");
        return at < 0 ? -1.0 : text.mid(at + 7, text.indexOf('\n', at) - at - 7).toDouble();
    };
    int checked = 0;
    for (int pause = 0; pause < 60 && joiner.state() == QProcess::Running; ++pause) {
        ::kill(pid, SIGSTOP);
        joiner.waitForReadyRead(50); // what it said before the pause
        joiner.readAllStandardOutput();
        const double share = written() / total;
        QThread::msleep(110); // the next line is due at once
        ::kill(pid, SIGCONT);
        if (!joiner.waitForReadyRead(10000))
            break;
        const QByteArray line = joiner.readLine().trimmed();
        QThread::msleep(4); // some work before the next pause
        QVERIFY2(line.startsWith("progress "), line.constData());
        const double said = line.mid(9).toInt() / 1000.0;
        if (said >= 1.0 || share < 0)
            continue;
        QVERIFY2(said >= share - 0.01 && said <= share + 0.08, qPrintable(QStringLiteral("%1 said, %2 written").arg(said).arg(share)));
        checked += share > 0;
    }
    ::kill(pid, SIGCONT);
    QVERIFY(joiner.state() == QProcess::NotRunning || joiner.waitForFinished(60000));
    QCOMPARE(joiner.exitCode(), 0);
    QVERIFY2(checked >= 3, qPrintable(QString::number(checked)));
}

QTEST_GUILESS_MAIN(JoinerTest)
#include "tst_rmeditor.moc"
