// Feeds arbitrary bytes to the settings-file layer: every key of the settings
// read and written back as read, and the result parsed again. Every written
// value must read back the same, and lines that are no key (comments,
// section headers) must survive the rewrite. A crash or a broken rule aborts.
#include "platform/profile.h"
#include "settings/settingkeys.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray original(reinterpret_cast<const char *>(data), qsizetype(size));
    ProfileDocument doc(original);
    const auto keys = settingkeys::keys();
    const QByteArray &section = settingkeys::kSection;
    QList<QByteArray> values;
    for (const settingkeys::Key &key : keys) {
        values.append(doc.readString(section, key.name, "<none>"));
        doc.readInt(section, key.name, 0);
    }
    for (qsizetype i = 0; i < values.size(); ++i)
        doc.writeString(section, keys[size_t(i)].name, values[i]);

    const QByteArray written = doc.content();
    const ProfileDocument again(written);
    for (qsizetype i = 0; i < values.size(); ++i)
        if (again.readString(section, keys[size_t(i)].name, "<gone>") != values[i])
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
