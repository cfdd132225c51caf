#include "CommandSender.h"

#include "SerialComponent.h"
#include "common/TextForms.h"

#include <limits>

namespace cmbvhp {

namespace {
QString quoted(const QString& text) { return QStringLiteral("\"%1\"").arg(text); }
} // namespace

void CommandSender::send(const Frame& frame)
{
    const bool taken = ctx_.ComeOne.Output(frame.bytes());
    const Moment at = ctx_.clock.now();
    if (ctx_.traffic)
        ctx_.traffic->frameSent(frame.bytes(), taken, at);
    if (taken) {
        ctx_.health.frameSent(addressed_, at.steadyMs);
        ctx_.ui.appendLog(Log::Text1, txLogLine(frame.bytes()));
        return;
    }
    // A frame the port did not take is not logged as sent; the operator is
    // told once per opening, in the transmit log where the frames would have
    // been, so that no reply being received is cut in two.
    if (ctx_.ComeOne.framesDropped() == 1)
        ctx_.ui.appendLogLine(Log::Text1, QStringLiteral("COM%1 is not taking bytes; frames are dropped until it does.")
                                              .arg(ctx_.ComeOne.CommPort()));
}

void CommandSender::sendShort(std::uint8_t code) { send(shortFrame(code)); }
void CommandSender::sendBvSet(std::uint8_t arg) { send(bvSetFrame(arg)); }
void CommandSender::sendBvReturn(std::uint8_t arg) { send(bvReturnFrame(arg)); }
void CommandSender::sendCmSet(std::uint8_t arg) { send(cmSetFrame(arg)); }

void CommandSender::sendCmChange()
{
    ctx_.Timer1.setEnabled(false);
    const QString text = ctx_.ui.text(Box::TxtCh);
    const auto amount = parseNumber(text);
    constexpr double kMin = std::numeric_limits<std::int32_t>::min();
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    if (!amount || *amount < kMin || *amount > kMax) {
        // Nothing goes out and changeAmount keeps the payout being followed.
        ctx_.ui.tellOperator(QStringLiteral("Coin Dispence holds %1, which is not an amount from %2 to %3. "
                                            "The \"Change\" frame was not sent.")
                                 .arg(quoted(text))
                                 .arg(std::numeric_limits<std::int32_t>::min())
                                 .arg(std::numeric_limits<std::int32_t>::max()));
    } else {
        ctx_.state.changeAmount = *amount;
        send(cmChangeFrame(*amount));
    }
    ctx_.Timer1.setEnabled(true);
}

void CommandSender::sendHpCount(int index)
{
    ctx_.Timer1.setEnabled(false);
    const QString text = ctx_.ui.text(hpCountBox(index));
    const auto value = parseNumber(text);
    const double count = value ? roundHalfEven(*value) : -1;
    if (count < 0 || count > 255) {
        ctx_.ui.tellOperator(QStringLiteral("The count box of HP #%1 holds %2, which is not a count from 0 to 255. "
                                            "The hopper frame was not sent.")
                                 .arg(index + 1)
                                 .arg(quoted(text)));
    } else {
        send(hpCountFrame(index, static_cast<std::uint8_t>(count)));
    }
    // The hoppers hold the line either way, as after the request was served.
    ctx_.state.curDevice = device::kHopper;
    ctx_.Timer1.setEnabled(true);
}

} // namespace cmbvhp
