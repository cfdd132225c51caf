// The parsing of the operator's number boxes, and the texts and frames made
// from what it accepts.
#include "common/TextForms.h"
#include "link/Frames.h"

#include <cmath>
#include <cstdlib>

using namespace cmbvhp;

namespace {
void check(bool ok)
{
    if (!ok)
        std::abort();
}
bool packed(std::uint8_t b) { return (b >> 4) <= 9 && (b & 0x0F) <= 9; }
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto value = parseNumber(text);
    if (!value)
        return 0;
    check(std::isfinite(*value) || text.size() > 300);
    if (!std::isfinite(*value))
        return 0;
    // The plain form reads back as the same number to 15 significant digits.
    const QString plain = plainNumber(*value);
    const auto back = parseNumber(plain);
    check(back.has_value());
    check(*value == 0 || std::fabs(*back - *value) <= std::fabs(*value) * 1e-14);
    const double n = roundHalfEven(*value);
    check(std::fabs(n - *value) <= 0.5 && n == std::floor(n));
    const ChangeBytes b = changeBytes(*value);
    check(packed(b.lo) && packed(b.hi));
    return 0;
}
