#pragma once

// What the time-shift command makes of its parameter.
#include <QStringList>

namespace vidora {

// The command's first parameter read as a number of days ("1.5" or "1,5",
// blanks around it allowed; one hour is 1/24); 0 when there is no parameter
// or it is not a finite number.
double TimeShiftDays(const QStringList &parameters);

} // namespace vidora
