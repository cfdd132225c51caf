#include "DisplayPace.h"

#include <algorithm>

namespace cmbvhp {

DisplayPace& DisplayPace::instance()
{
    static DisplayPace pace;
    return pace;
}

DisplayPace::DisplayPace()
{
    timer_.setSingleShot(true);
    timer_.setInterval(kDisplayPace);
    connect(&timer_, &QTimer::timeout, this, &DisplayPace::beat);
}

void DisplayPace::request(QObject* owner, std::function<void()> show)
{
    if (std::any_of(waiting_.begin(), waiting_.end(), [owner](const Waiting& w) { return w.owner == owner; }))
        return;
    waiting_.push_back({owner, std::move(show)});
    if (!timer_.isActive())
        timer_.start();
}

void DisplayPace::cancel(const QObject* owner)
{
    std::erase_if(waiting_, [owner](const Waiting& w) { return w.owner == owner; });
}

void DisplayPace::atEveryBeat(QObject* owner, std::function<bool()> first) { first_.push_back({owner, std::move(first)}); }

void DisplayPace::beat()
{
    std::erase_if(first_, [](const First& f) { return !f.owner; });
    bool again = false;
    for (const First& f : std::vector<First>(first_))
        if (f.owner)
            again = f.run() || again;
    if (again && !timer_.isActive())
        timer_.start();
    // What a show asks for anew waits for the next beat.
    std::vector<Waiting> now;
    now.swap(waiting_);
    for (Waiting& w : now)
        if (w.owner)
            w.show();
}

} // namespace cmbvhp
