// The whole receive path: an arbitrary byte stream in arbitrary notifications,
// with the device choice, curDevice, the long-read flags and the view mode
// taken from the input, through the framer and the decoders, with poll ticks
// in between. Anything out of bounds or undefined is found by the sanitizers;
// the receive position is checked after every notification. It takes the
// place of a randomised unit test: CI runs it under the sanitizers.
#include "support/Rig.h"

#include <cstdlib>

using namespace cmbvhp;
using namespace cmbvhp::test;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 7)
        return 0;
    Rig r;
    WindowState& s = r.engine.state();
    for (int coin = 0; coin < 3; ++coin) // mechanism, selector, none
        r.ui.selected[static_cast<std::size_t>(2 + coin)] = data[0] % 3 == coin;
    r.ui.selected[0] = data[0] & 4; // the bill validator
    r.ui.setText(Box::hpCount1, (data[0] & 8) ? QStringLiteral("5") : QStringLiteral("x"));
    const std::uint8_t devices[] = {0, 1, 2, 4, 3};
    s.curDevice = devices[data[1] % 5];
    s.bvLongRead = data[2] & 1;
    s.cmLongRead = (data[2] >> 1) & 1;
    s.clearPending = (data[2] >> 2) & 1;
    r.engine.gblFlag().viewMode = static_cast<std::int16_t>((data[2] >> 3) % 3);
    s.changeAmount = (data[2] & 0x80) ? data[5] * 0.5 : 0;
    s.rxPos = static_cast<std::int16_t>(1 + ((data[3] << 8 | data[4]) % RxBuffer::kSize));
    s.bvSeq = data[5];
    s.cmSeq = data[6];

    std::size_t i = 7;
    while (i < size) {
        const std::uint8_t c = data[i++];
        if (c == 0xF0) {
            r.engine.Timer1_Timer();
            r.port->writes.clear();
        } else if (c >= 0xF1 && c <= 0xF3) {
            r.engine.gblFlag().viewMode = static_cast<std::int16_t>(c - 0xF1);
        } else if (c == 0xF4) {
            r.engine.cmdHp1_Click(static_cast<std::int16_t>(i % 6));
        } else {
            const std::size_t n = std::min<std::size_t>(c % 64 + 1, size - i);
            r.port->feed(Bytes(data + i, data + i + n));
            i += n;
        }
        if (s.rxPos < 1 || s.rxPos > RxBuffer::kSize)
            std::abort();
    }
    return 0;
}
