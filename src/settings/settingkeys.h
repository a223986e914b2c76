#pragma once
#include <QByteArray>

// The settings file: one section, nineteen keys.
namespace settingkeys {

inline const QByteArray kSection = "shoki";
inline const QByteArray kFileName = "tapeknot.ini";

// Rounds to the nearest integer, a half going to the even neighbour.
int roundHalfEven(double value);

// A stored value that its control cannot take falls back to the default.
int inRangeOr(int value, int lowest, int highest, int fallback);

} // namespace settingkeys
