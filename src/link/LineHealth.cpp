#include "LineHealth.h"

#include <algorithm>
#include <cmath>

namespace cmbvhp {

std::optional<std::int64_t> PartyHealth::replyTime(double share) const
{
    if (answered == 0)
        return std::nullopt;
    const auto rank = std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::ceil(share * static_cast<double>(answered))));
    std::uint64_t seen = 0;
    for (std::size_t ms = 0; ms + 1 < kBuckets; ++ms)
        if ((seen += replyMs[ms]) >= rank)
            return static_cast<std::int64_t>(ms);
    return maxMs; // in the last bucket: at least its bound, at most the longest
}

QString PartyHealth::summary() const
{
    QString s = QStringLiteral("%1 frames, %2 answered, %3 bad, %4 silent; ").arg(frames).arg(answered).arg(bad).arg(silent);
    if (answered == 0)
        return s + QStringLiteral("no reply");
    return s + QStringLiteral("reply after median %1 ms, p99 %2 ms, max %3 ms").arg(*replyTime(0.5)).arg(*replyTime(0.99)).arg(maxMs);
}

void LineHealth::reset() { *this = LineHealth(); }

void LineHealth::judge()
{
    if (!waiting_ || unframed_)
        return;
    PartyHealth& p = parties_[static_cast<std::size_t>(*waiting_)];
    ++p.frames;
    if (accepted_ && firstByteMs_) {
        ++p.answered;
        const std::int64_t ms = std::max<std::int64_t>(0, *firstByteMs_ - sentMs_);
        ++p.replyMs[std::min<std::size_t>(static_cast<std::size_t>(ms), PartyHealth::kBuckets - 1)];
        p.maxMs = std::max(p.maxMs, ms);
    } else if (firstByteMs_) {
        ++p.bad;
    } else {
        ++p.silent;
    }
}

void LineHealth::frameSent(Party party, std::int64_t steadyMs)
{
    judge();
    waiting_ = party;
    sentMs_ = steadyMs;
    firstByteMs_.reset();
    accepted_ = false;
    unframed_ = false;
}

void LineHealth::bytesArrived(std::int64_t steadyMs, bool framed)
{
    if (!firstByteMs_)
        firstByteMs_ = steadyMs;
    unframed_ = unframed_ || !framed;
}

} // namespace cmbvhp
