#include "TimeLine.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace cmbvhp {

TimeLine::TimeLine(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("timeLine"));
    setMinimumHeight(24);
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("The whole session: click a place to go there. Marks: DROP red, bad reply orange, silent frames grey, "
                              "NOTE blue, OP green."));
}

QColor TimeLine::colour(SessionIndex::Mark kind)
{
    static const QColor colours[] = {Qt::red, QColor(255, 140, 0), Qt::darkGray, Qt::blue, QColor(0, 150, 0)};
    return colours[static_cast<std::size_t>(kind)];
}

void TimeLine::setSpan(std::int64_t from, std::int64_t to)
{
    from_ = from;
    to_ = std::max(to, from + 1);
    update();
}

void TimeLine::setMoment(std::int64_t ms, std::int64_t stretchFrom, std::int64_t stretchTo)
{
    moment_ = ms;
    stretchFrom_ = stretchFrom;
    stretchTo_ = stretchTo;
    update();
}

// The columns inside the frame: a mark at the session's first or last moment
// (its closing notice) is drawn beside the frame, not under it.
int TimeLine::xOf(std::int64_t ms) const
{
    const double share = static_cast<double>(std::clamp(ms, from_, to_) - from_) / static_cast<double>(to_ - from_);
    return 1 + static_cast<int>(share * (width() - 3));
}

void TimeLine::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Base));
    p.fillRect(QRect(QPoint(xOf(stretchFrom_), 0), QPoint(xOf(stretchTo_), height() - 1)), palette().color(QPalette::AlternateBase).darker(110));
    // A pixel column shows the first mark that falls in it, so that a busy
    // stretch costs a paint no more than the bar's width.
    if (marks_) {
        int last = -1;
        for (const auto& m : *marks_) {
            const int x = xOf(m.ms);
            if (x == last)
                continue;
            last = x;
            p.setPen(colour(m.kind));
            p.drawLine(x, 3, x, height() - 4);
        }
    }
    p.setPen(QPen(palette().color(QPalette::Text), 2));
    p.drawLine(xOf(moment_), 0, xOf(moment_), height());
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TimeLine::mousePressEvent(QMouseEvent* event)
{
    if (!onPicked || width() < 4)
        return;
    const double share = std::clamp((event->position().x() - 1) / (width() - 3), 0.0, 1.0);
    onPicked(from_ + static_cast<std::int64_t>(share * static_cast<double>(to_ - from_)));
}

} // namespace cmbvhp
