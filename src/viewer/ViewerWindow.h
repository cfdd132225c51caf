#pragma once

#include "SessionIndex.h"

#include <QWidget>

#include <array>
#include <atomic>
#include <limits>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;

namespace cmbvhp {

class LogView;
class TimeLine;

// The session viewer's window: a recorded session as the console showed it at
// any moment. The "Data" boxes as they stood then, the logs of the stretch
// around it, each device's line health over the whole session and over that
// stretch, and a time line of the whole session with its marks. The moment
// is chosen by a click on a row or on the time line, by a time typed in, or
// by a key to the next or previous mark (F3, Shift+F3) of the kind chosen.
// A large file shows its start at once and is read on a thread meanwhile.
class ViewerWindow : public QWidget {
public:
    explicit ViewerWindow(QWidget* parent = nullptr);
    ~ViewerWindow() override;

    // Opens a session file; false, and said in the window, when it is refused.
    bool open(const QString& path);
    // Shows the session as it stood at `ms`.
    void showMoment(std::int64_t ms);
    void nextMark(int direction);
    bool indexed() const { return built_; }
    std::int64_t moment() const { return moment_; }
    const SessionIndex* index() const { return index_ ? &*index_ : nullptr; }
    QString boxText(Box box) const;

private:
    void buildControls();
    void fillStretch(std::int64_t ms);
    void indexDone();

    void scrollTo(LogView* log, const std::vector<std::pair<std::int64_t, std::size_t>>& rows, std::int64_t ms);

    std::optional<SessionIndex> index_;
    std::unique_ptr<SessionIndex> building_; // read on the thread, then taken over
    std::thread indexing_;
    std::atomic<bool> stop_{}; // set by open() before each reading
    unsigned reading_ = 0;     // the opening being read: the end of an earlier one, handled late, is dropped
    bool built_ = false;
    std::int64_t moment_ = std::numeric_limits<std::int64_t>::min(); // none chosen: the opening
    std::int64_t stretchFrom_{}, stretchTo_{}; // the stretch the logs show, set when they are filled
    // The moments whose rows the logs hold: none yet.
    std::int64_t rowsFrom_ = std::numeric_limits<std::int64_t>::max(), rowsTo_ = std::numeric_limits<std::int64_t>::min();
    std::optional<std::int16_t> view_; // the logs' view; none: as the console showed them

    QLabel* title_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    TimeLine* timeLine_ = nullptr;
    QLineEdit* goTo_ = nullptr;
    QComboBox* markKind_ = nullptr;
    QButtonGroup* views_ = nullptr;
    std::array<QLineEdit*, kBoxCount> boxes_{};
    std::array<QLabel*, kParties> health_{};
    LogView* tx_ = nullptr;
    LogView* rx_ = nullptr;
    LineHealth stretchHealth_;
    Moment playing_; // the time of the event being played into the logs
    // Each log's rows as events came: the time, and the rows by then.
    std::vector<std::pair<std::int64_t, std::size_t>> txRows_, rxRows_;
};

} // namespace cmbvhp
