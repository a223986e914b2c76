#include "settings/settingkeys.h"

#include <cmath>

namespace settingkeys {

int roundHalfEven(double value)
{
    return int(std::nearbyint(value)); // the default rounding mode is to nearest even
}

int inRangeOr(int value, int lowest, int highest, int fallback)
{
    return value >= lowest && value <= highest ? value : fallback;
}

} // namespace settingkeys
