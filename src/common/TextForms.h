#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>

namespace cmbvhp {

// Reads an operator's number box. Accepted: optional blanks around, an optional
// + or - sign, decimal digits with at most one decimal point (".5" and "5." too).
// Anything else (empty text, letters, exponents, grouping, several points) is
// not a number.
std::optional<double> parseNumber(QStringView text);

// Rounds to the nearest whole number, halves to the even neighbour.
double roundHalfEven(double value);

// A double as a plain decimal number: up to 15 significant digits, no grouping,
// no exponent, no trailing zeros after the point, "0" for zero, leading "-"
// when negative.
QString plainNumber(double value);

// Byte texts. Two upper-case hexadecimal digits and a blank ("0A "), as the data
// boxes and the hexadecimal receive log show bytes.
void appendHexPair(QString& out, std::uint8_t b);
inline constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

// The character the "ASCII" view shows for a byte: its Latin-1 character, or a
// visible stand-in for a control character (the control pictures for 0x00 ...
// 0x1F and 0x7F, the replacement character for 0x80 ... 0x9F), so that every
// byte is exactly one visible character and nothing breaks the log's lines.
constexpr char16_t asciiViewChar(std::uint8_t b)
{
    if (b < 0x20)
        return static_cast<char16_t>(0x2400 + b);
    if (b == 0x7F)
        return u'\u2421';
    if (b >= 0x80 && b < 0xA0)
        return u'\uFFFD';
    return static_cast<char16_t>(b);
}

} // namespace cmbvhp
