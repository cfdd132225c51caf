#pragma once

#include "common/TextForms.h"
#include "common/WindowState.h"

namespace cmbvhp {

// rxBuf(from) ... rxBuf(from + count - 1) as the data boxes show them.
inline QString hexPairs(const RxBuffer& rx, int from, int count)
{
    QString out;
    out.reserve(count * 3);
    for (int i = 0; i < count; ++i)
        appendHexPair(out, rx(from + i));
    return out;
}

} // namespace cmbvhp
