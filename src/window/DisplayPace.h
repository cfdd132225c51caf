#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <functional>
#include <vector>

namespace cmbvhp {

// The pace at which what arrives is put on screen: 25 times a second, inside
// the 50 ms in which a received byte should show, and far fewer paints than a
// busy line brings notifications.
inline constexpr std::chrono::milliseconds kDisplayPace{40};

// One beat for everything the window shows, so that all that changed since
// the last beat is painted together, in one flush to the screen.
class DisplayPace : public QObject {
public:
    static DisplayPace& instance();

    // `show` runs at the next beat, once however often it is asked for; not at
    // all if `owner` is gone by then.
    void request(QObject* owner, std::function<void()> show);
    // `owner` has shown what waited, without the beat.
    void cancel(const QObject* owner);
    // `first` runs at every beat before what waits is shown, while `owner`
    // lives: the window drains its port there, so that what came is shown.
    // While it returns true the beats go on, asked for or not: a port resting
    // on a busy line waits for the next beat.
    void atEveryBeat(QObject* owner, std::function<bool()> first);

private:
    DisplayPace();
    void beat();

    struct Waiting {
        QPointer<QObject> owner;
        std::function<void()> show;
    };
    QTimer timer_;
    std::vector<Waiting> waiting_;
    struct First {
        QPointer<QObject> owner;
        std::function<bool()> run;
    };
    std::vector<First> first_;
};

} // namespace cmbvhp
