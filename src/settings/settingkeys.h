#pragma once
#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVariant>

#include <span>

class ProfileDocument;

// The settings file: one section, nineteen keys.
namespace settingkeys {

inline const QByteArray kSection = "shoki";
inline const QByteArray kFileName = "tapeknot.ini";

enum class Kind {
    Twips,  // a window measure, stored as a single-precision number
    Flag,   // 0 or 1
    Choice, // the index of the selected option button, 0 to `highest`
    Text,   // stored in the system's code page
};

// The window's normal placement in twips: left, top, outer width, outer height.
struct Placement {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

// What keeps a key's value while the program runs.
enum class Holder {
    Control,    // the control named by `control`
    Placement,  // the window's placement, member `place`
    LastFolder, // the folder the open dialog starts in
};

struct Key {
    const char *name;
    Kind kind;
    QVariant fallback; // an invalid one: given when the file is read (it depends on the screen or folder)
    int highest = 0;   // a choice's last index
    const char *control = nullptr; // objectName of the control that shows it
    Holder holder = Holder::Control;
    int Placement::*place = nullptr;
};

// Every key, in the order a new file lists them.
std::span<const Key> keys();

// Values by key name: int for Twips, Flag and Choice, QString for Text.
using Values = QMap<QByteArray, QVariant>;

// Reads every key; a missing key or one its control cannot take gives the
// fallback, from the table or from `fallbacks` where the table has none.
Values read(const ProfileDocument &file, const Values &fallbacks);
// Writes every key present in `values`; other keys and sections of the file stay.
void write(ProfileDocument &file, const Values &values);

// The placement and the last folder in `values`, and back.
Placement placementOf(const Values &values);
void putPlacement(Values &values, const Placement &placement);
QString lastFolderOf(const Values &values);
void putLastFolder(Values &values, const QString &folder);

// Rounds to the nearest integer, a half going to the even neighbour.
int roundHalfEven(double value);

// A stored value that its control cannot take falls back to the default.
int inRangeOr(int value, int lowest, int highest, int fallback);

} // namespace settingkeys
