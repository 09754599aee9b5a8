#include "number_text.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale>

namespace talmiro {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Skips leading spaces and an optional sign; returns the position of the first digit or point.
size_t SkipLead(std::string_view text, bool& negative) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    return i;
}

} // namespace

bool ParseDecimalNumber(std::string_view text, double& value) {
    bool negative = false;
    const size_t start = SkipLead(text, negative);
    size_t i = start;
    size_t digits = 0;
    while (i < text.size() && IsDigit(text[i]))
        ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i]))
            ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        size_t expDigits = 0;
        while (i < text.size() && IsDigit(text[i]))
            ++i, ++expDigits;
        if (expDigits == 0) return false;
    }
    if (i != text.size()) return false;
    // Few digits and no exponent: the digits as an integer below 2^53 and a power of ten below 10^23 are
    // both exact doubles, so one division rounds correctly, to the value from_chars gives.
    if (digits <= 15) {
        uint64_t mantissa = 0;
        int fraction = -1;
        bool plain = true;
        for (size_t k = start; k < text.size(); ++k) {
            const char c = text[k];
            if (IsDigit(c)) {
                mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
                if (fraction >= 0) ++fraction;
            } else if (c == '.') {
                fraction = 0;
            } else {
                plain = false; // an exponent
                break;
            }
        }
        if (plain) {
            static constexpr double Powers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
            double v = static_cast<double>(mantissa);
            if (fraction > 0) v /= Powers[fraction];
            value = negative ? -v : v;
            return true;
        }
    }
    // from_chars takes neither a leading "+" nor spaces; the form has been checked above.
    double v = 0;
    auto [ptr, ec] = std::from_chars(text.data() + start, text.data() + text.size(), v);
    // Out of the range of a double (1e999, 1e-400) counts as no number.
    if (ec != std::errc() || ptr != text.data() + text.size()) return false;
    value = negative ? -v : v;
    return true;
}

bool ParseDecimalInteger(std::string_view text, int64_t& value) {
    bool negative = false;
    const size_t start = SkipLead(text, negative);
    if (start >= text.size() || !IsDigit(text[start])) return false;
    uint64_t v = 0;
    auto [ptr, ec] = std::from_chars(text.data() + start, text.data() + text.size(), v);
    if (ec != std::errc() || ptr != text.data() + text.size()) return false;
    if (v > (negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1)) return false;
    value = negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
    return true;
}

std::string FormatGeneral(double value, int precision, std::string_view decimalSeparator) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0) return "0";
    if (precision < 1) precision = 1;
    if (precision > 17) precision = 17;
    // "%.*e" rounds to the wanted digits and tells the exponent; it is locale dependent only in the
    // point, which is dropped here.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", precision - 1, value);
    std::string digits;
    const char* p = buf;
    bool negative = false;
    if (*p == '-') negative = true, ++p;
    for (; *p && *p != 'e'; ++p)
        if (IsDigit(*p)) digits.push_back(*p);
    int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string out;
    if (negative) out.push_back('-');
    if (exponent >= -5 && exponent < precision) {
        if (exponent < 0) {
            out += '0';
            out += decimalSeparator;
            out.append(static_cast<size_t>(-exponent - 1), '0');
            out += digits;
        } else {
            const auto intDigits = static_cast<size_t>(exponent) + 1;
            if (digits.size() <= intDigits) {
                out += digits;
                out.append(intDigits - digits.size(), '0');
            } else {
                out.append(digits, 0, intDigits);
                out += decimalSeparator;
                out.append(digits, intDigits);
            }
        }
    } else {
        out += digits[0];
        if (digits.size() > 1) {
            out += decimalSeparator;
            out.append(digits, 1);
        }
        out += 'E';
        if (exponent < 0) out += '-';
        out += std::to_string(exponent < 0 ? -exponent : exponent);
    }
    return out;
}

std::string LocaleDecimalSeparator() {
    // A program may set its locale either way: through the C++ global locale or through setlocale.
    const char cpp = std::use_facet<std::numpunct<char>>(std::locale()).decimal_point();
    if (cpp != '.') return std::string(1, cpp);
    const std::lconv* lc = std::localeconv();
    if (lc && lc->decimal_point && *lc->decimal_point) return lc->decimal_point;
    return ".";
}

} // namespace talmiro
