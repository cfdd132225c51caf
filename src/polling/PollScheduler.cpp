#include "PollScheduler.h"

#include "common/TextForms.h"

namespace cmbvhp {

void PollScheduler::Timer1_Timer()
{
    WindowState& s = ctx_.state;
    ctx_.ui.setText(Box::txtamount, plainNumber(s.bvAmount + s.cmAmount));
    ctx_.Timer1.setInterval(kPollInterval);

    if (s.curDevice == device::kHopper || s.hpPending == 1) {
        serveHopper();
    } else if (s.pollTurn == 0) {
        if (ctx_.ui.isSelected(Choice::checkBv))
            serveBillValidator();
        s.pollTurn = -1;
    } else {
        if (!ctx_.ui.isSelected(Choice::OptionCoin))
            serveCoinMech();
        s.pollTurn = 0;
    }
}

// The full-status reply needs longer than a poll period to arrive.
void PollScheduler::longReadNext() { ctx_.Timer1.setInterval(kLongReadInterval); }

// A device silent through kMissLimit idle polls is asked for its full status
// at its next slot.
void PollScheduler::idlePoll(std::uint8_t code, std::uint8_t& miss, std::uint8_t& cmdNo)
{
    send_.sendShort(code);
    if (++miss >= kMissLimit) {
        miss = 0;
        cmdNo = kFullStatusRequest;
    }
}

void PollScheduler::serveHopper()
{
    WindowState& s = ctx_.state;
    send_.addressing(Party::Hoppers);
    s.hpPending = 0;
    s.curDevice = device::kHopper;
    if (s.hpCmdNo == 0) {
        send_.sendShort(code::kHpStatus);
        return;
    }
    s.bvMiss = 0;
    s.cmMiss = 0;
    switch (s.hpCmdNo) {
    case 1:
    case 2:
    case 3:
    case 4: send_.sendHpCount(s.hpCmdNo - 1); break;
    case 5: send_.sendShort(code::kHpStatus); break;
    case 6:
        longReadNext();
        send_.sendShort(code::kHpAll);
        break;
    default: break;
    }
    s.hpCmdNo = 0;
}

void PollScheduler::serveBillValidator()
{
    WindowState& s = ctx_.state;
    send_.addressing(Party::BillValidator);
    if (s.bvCmdNo != 0) {
        s.bvMiss = 0;
        switch (s.bvCmdNo) {
        case 1: send_.sendShort(code::kBvStandBy); break;
        case 2: send_.sendBvSet(code::kBvCremOn); break;
        case 3: send_.sendBvSet(code::kBvCremOff); break;
        case 4:
            send_.sendBvSet(code::kBvStack);
            s.clearPending = 1;
            break;
        case 5: send_.sendBvReturn(code::kBvReturn); break;
        case kFullStatusRequest:
            send_.sendShort(code::kBvAll);
            s.bvLongRead = 1;
            longReadNext();
            break;
        case 7: send_.sendShort(code::kBvData); break;
        default: break;
        }
        s.bvCmdNo = 0;
    } else {
        idlePoll(code::kBvData, s.bvMiss, s.bvCmdNo);
    }
    s.curDevice = device::kBillValidator;
    s.rxPos = 1;
}

void PollScheduler::serveCoinMech()
{
    WindowState& s = ctx_.state;
    send_.addressing(Party::Coin);
    if (s.cmCmdNo != 0) {
        s.cmMiss = 0;
        switch (s.cmCmdNo) {
        case 1: send_.sendShort(code::kCmStandBy); break;
        case 2:
            if (ctx_.ui.isSelected(Choice::optionSlt))
                send_.sendCmSet(code::kCmCremOnSelector);
            else if (ctx_.ui.isSelected(Choice::optionCm))
                send_.sendCmSet(code::kCmCremOnMech);
            break;
        case 3: send_.sendCmSet(code::kCmCremOff); break;
        case 4:
            send_.sendCmSet(code::kCmDataClear);
            s.clearPending = 1;
            break;
        case 5: send_.sendCmChange(); break;
        case kFullStatusRequest:
            send_.sendShort(code::kCmAll);
            s.cmLongRead = 1;
            longReadNext();
            break;
        case 7: send_.sendShort(code::kCmData); break;
        default: break;
        }
        s.cmCmdNo = 0;
    } else {
        idlePoll(code::kCmData, s.cmMiss, s.cmCmdNo);
    }
    s.curDevice = device::kCoinMech;
    s.rxPos = 1;
}

} // namespace cmbvhp
