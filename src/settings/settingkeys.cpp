#include "settings/settingkeys.h"

#include "platform/ansi.h"
#include "platform/profile.h"

#include <array>
#include <cmath>

namespace settingkeys {

namespace {

// The window's placement and the last folder are kept by the window itself;
// every other key is shown by the control named last.
const std::array<Key, 19> kKeys{{
    {"x1", Kind::Twips, {}, 0, nullptr, Holder::Placement, &Placement::x1},
    {"y1", Kind::Twips, {}, 0, nullptr, Holder::Placement, &Placement::y1},
    {"x2", Kind::Twips, {}, 0, nullptr, Holder::Placement, &Placement::x2},
    {"y2", Kind::Twips, {}, 0, nullptr, Holder::Placement, &Placement::y2},
    {"haiti", Kind::Flag, 0, 0, "Check1_0"},   // keep on top
    {"dos", Kind::Flag, 0, 0, "Check1_1"},     // show the tool's console
    {"sakujo", Kind::Flag, 0, 0, "Check1_2"},  // delete the sources after a join
    {"clear", Kind::Flag, 0, 0, "Check1_3"},   // clear the list after a join
    {"nameop1", Kind::Flag, 0, 0, "Check2_0"}, // strip trailing digits
    {"nameop2", Kind::Flag, 0, 0, "Check2_1"}, // sequential name when the common part is empty
    {"nameop3", Kind::Flag, 0, 0, "Check2_2"}, // strip trailing symbols
    {"path", Kind::Text, QString(), 0, "Text2"},  // the tool
    {"path2", Kind::Text, {}, 0, nullptr, Holder::LastFolder}, // folder of the last selection
    {"name", Kind::Choice, 0, 2, "Option1"},      // naming: common part, specified, sequential
    {"name2", Kind::Text, QString(), 0, "Text1"}, // specified file name
    {"name3", Kind::Text, QString(), 0, "Text3_0"}, // base name of sequential names
    {"name4", Kind::Text, QStringLiteral("0001"), 0, "Text3_1"}, // their start number
    {"sentou", Kind::Choice, 0, 1, "Option2"},    // location: beside the head file, specified
    {"name5", Kind::Text, QString(), 0, "Text4"}, // specified location
}};

QString singleText(double value)
{
    return QString::number(double(float(value)), 'g', 7);
}

} // namespace

std::span<const Key> keys()
{
    return kKeys;
}

Values read(const ProfileDocument &file, const Values &fallbacks)
{
    Values values;
    for (const Key &key : kKeys) {
        const QVariant fallback = key.fallback.isValid() ? key.fallback : fallbacks.value(key.name);
        switch (key.kind) {
        case Kind::Twips:
            values[key.name] = file.readInt(kSection, key.name, fallback.toInt());
            break;
        case Kind::Flag:
        case Kind::Choice: {
            const int highest = key.kind == Kind::Flag ? 1 : key.highest;
            values[key.name] = inRangeOr(file.readInt(kSection, key.name, fallback.toInt()), 0, highest, fallback.toInt());
            break;
        }
        case Kind::Text:
            values[key.name] = ansi::decode(file.readString(kSection, key.name, ansi::encode(fallback.toString())));
            break;
        }
    }
    return values;
}

void write(ProfileDocument &file, const Values &values)
{
    for (const Key &key : kKeys) {
        const auto it = values.constFind(key.name);
        if (it == values.constEnd())
            continue;
        const QString text = key.kind == Kind::Twips  ? singleText(it->toDouble())
                             : key.kind == Kind::Text ? it->toString()
                                                      : QString::number(it->toInt());
        file.writeString(kSection, key.name, ansi::encode(text));
    }
}

Placement placementOf(const Values &values)
{
    Placement placement;
    for (const Key &key : kKeys)
        if (key.holder == Holder::Placement)
            placement.*key.place = values.value(key.name).toInt();
    return placement;
}

void putPlacement(Values &values, const Placement &placement)
{
    for (const Key &key : kKeys)
        if (key.holder == Holder::Placement)
            values[key.name] = placement.*key.place;
}

QString lastFolderOf(const Values &values)
{
    for (const Key &key : kKeys)
        if (key.holder == Holder::LastFolder)
            return values.value(key.name).toString();
    return {};
}

void putLastFolder(Values &values, const QString &folder)
{
    for (const Key &key : kKeys)
        if (key.holder == Holder::LastFolder)
            values[key.name] = folder;
}

int roundHalfEven(double value)
{
    return int(std::nearbyint(value)); // the default rounding mode is to nearest even
}

int inRangeOr(int value, int lowest, int highest, int fallback)
{
    return value >= lowest && value <= highest ? value : fallback;
}

} // namespace settingkeys
