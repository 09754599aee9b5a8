// Locale-independent reading and general-format writing of decimal numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace talmiro {

// Leading spaces, an optional sign, digits, an optional "." fraction and an optional exponent; nothing
// else may follow. The decimal point is always ".". False for any other text and for values out of range.
bool ParseDecimalNumber(std::string_view text, double& value);
// Leading spaces, an optional sign and digits only.
bool ParseDecimalInteger(std::string_view text, int64_t& value);

// The shortest text with at most `precision` significant digits: fixed notation when the value is at
// least 0.00001 in magnitude and its integer part has at most `precision` digits, otherwise scientific
// (1.5E-7, 1E20). `decimalSeparator` stands where there is a fraction.
std::string FormatGeneral(double value, int precision, std::string_view decimalSeparator);

// The user's decimal separator: that of the C++ global locale when it is not ".", else the C locale's.
std::string LocaleDecimalSeparator();

} // namespace talmiro
