#include "TextForms.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace cmbvhp {

std::optional<double> parseNumber(QStringView text)
{
    const QStringView t = text.trimmed();
    qsizetype i = 0;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
        ++i;
    bool digits = false;
    bool point = false;
    for (; i < t.size(); ++i) {
        const char16_t c = t[i].unicode();
        if (c >= u'0' && c <= u'9')
            digits = true;
        else if (c == u'.' && !point)
            point = true;
        else
            return std::nullopt;
    }
    if (!digits)
        return std::nullopt;
    // The text is plain ASCII by now. from_chars reads "." as the decimal point
    // whatever the host's locale, unlike strtod.
    const std::string ascii = t.toLatin1().toStdString();
    const char* first = ascii.data();
    const char* last = first + ascii.size();
    const bool negative = *first == '-';
    if (*first == '+' || negative)
        ++first;
    double value = 0;
    const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::fixed);
    if (ec == std::errc::result_out_of_range) {
        // Too large is infinite, too small is zero, as the amount checks expect.
        const bool large = std::find_if(first, std::find(first, last, '.'), [](char c) { return c != '0'; }) !=
                           std::find(first, last, '.');
        value = large ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc() || end != last) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

double roundHalfEven(double value)
{
    // nearbyint follows the current rounding mode, which is round-to-nearest-even
    // unless someone changed it; compute it explicitly instead.
    const double down = std::floor(value);
    const double diff = value - down;
    if (diff < 0.5)
        return down;
    if (diff > 0.5)
        return down + 1.0;
    return std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
}

QString plainNumber(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    if (value == 0.0)
        return QStringLiteral("0");
    // 15 significant digits in scientific form, then laid out positionally.
    // to_chars writes "." whatever the host's locale.
    char buf[32];
    const auto written = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
    std::string digits;
    const char* p = buf;
    for (; p != written.ptr && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            digits += *p;
    int exponent = 0;
    if (p != written.ptr)
        std::from_chars(p + (p[1] == '+' ? 2 : 1), written.ptr, exponent);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string out;
    if (value < 0)
        out += '-';
    const int intDigits = exponent + 1; // digits before the point
    if (intDigits <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-intDigits), '0');
        out += digits;
    } else if (static_cast<std::size_t>(intDigits) >= digits.size()) {
        out += digits;
        out.append(static_cast<std::size_t>(intDigits) - digits.size(), '0');
    } else {
        out += digits.substr(0, static_cast<std::size_t>(intDigits));
        out += '.';
        out += digits.substr(static_cast<std::size_t>(intDigits));
    }
    return QString::fromLatin1(out.data(), static_cast<qsizetype>(out.size()));
}

void appendHexPair(QString& out, std::uint8_t b)
{
    const QChar pair[3] = {QChar(kHexDigits[b >> 4]), QChar(kHexDigits[b & 0x0F]), QChar(u' ')};
    out.append(pair, 3);
}

} // namespace cmbvhp
