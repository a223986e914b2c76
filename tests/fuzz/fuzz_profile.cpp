// Feeds arbitrary bytes to the settings-file layer: every key of "shoki" is
// read and written back as read, and the result parsed again. Every written
// value must read back the same, and lines that are no key (comments,
// section headers) must survive the rewrite. A crash or a broken rule aborts.
#include "platform/profile.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <cstdlib>

namespace {

const char *const kKeys[] = {"x1", "y1", "x2", "y2", "haiti", "dos", "sakujo", "clear", "nameop1", "nameop2",
                             "nameop3", "path", "path2", "name", "name2", "name3", "name4", "sentou", "name5"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray original(reinterpret_cast<const char *>(data), qsizetype(size));
    ProfileDocument doc(original);
    QList<QByteArray> values;
    for (const char *key : kKeys) {
        values.append(doc.readString("shoki", key, "<none>"));
        doc.readInt("shoki", key, 0);
    }
    for (qsizetype i = 0; i < values.size(); ++i)
        doc.writeString("shoki", kKeys[i], values[i]);

    const QByteArray written = doc.content();
    const ProfileDocument again(written);
    for (qsizetype i = 0; i < values.size(); ++i)
        if (again.readString("shoki", kKeys[i], "<gone>") != values[i])
            std::abort();
    // Lines that hold no key are never touched.
    for (QByteArray line : original.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty() && !line.contains('=') && !line.contains('\r') && !written.contains(line))
            std::abort();
    }
    return 0;
}
