#pragma once
// Number texts of the JSON library: pure functions, independent of the process locale.
#include <QString>
#include <QStringView>
#include <cstdint>

namespace kestrum::json {

// Without the characters 0 to 32 at both ends.
QStringView TrimBlanks(QStringView text);
// A decimal floating-point text ("12", "-1.5", ".5", "1.5e3"); no blanks, no "inf" or "nan", finite only.
bool ReadFloat(QStringView text, double& value);
// The digits after "0x": all hexadecimal, summed in 32-bit arithmetic (so longer texts wrap around).
bool ReadHexDigits(QStringView digits, int32_t& value);
// A 32-bit integer: optional sign, then decimal digits or "$", "0x", "0X" and hexadecimal digits.
bool ReadInteger(QStringView text, int32_t& value);
// General format with up to 15 significant digits: "1.5", "123456789012345", "1E15", "1E-5".
QString FormatFloat(double value);
// The nearest whole number; halves go to the even neighbour (2.5 gives 2, 3.5 gives 4).
double RoundHalfEven(double value);
// The integer nearest in range: NaN gives 0, values beyond 32 bits give the limit.
int32_t SaturateToInt(double value);

} // namespace kestrum::json
