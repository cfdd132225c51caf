#include "TextForms.h"

#include <cmath>
#include <cstdio>
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
    // The text is plain ASCII by now, so the C locale conversion is exact.
    const std::string ascii = t.toLatin1().toStdString();
    return std::strtod(ascii.c_str(), nullptr);
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
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
    std::string digits;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            digits += *p;
    const int exponent = std::atoi(p + 1);
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
