#pragma once

#include "SessionIndex.h"

#include <QWidget>

#include <functional>

namespace cmbvhp {

// The whole session as one bar, left to right: a tick where each mark stands,
// coloured by its kind, the stretch the logs show shaded, and the moment
// chosen as a line. A click chooses the moment under it.
class TimeLine : public QWidget {
public:
    explicit TimeLine(QWidget* parent = nullptr);

    void setSpan(std::int64_t from, std::int64_t to);
    void setMarks(const std::vector<SessionIndex::MarkAt>* marks) { marks_ = marks; update(); }
    void setMoment(std::int64_t ms, std::int64_t stretchFrom, std::int64_t stretchTo);
    std::function<void(std::int64_t ms)> onPicked;

    static QColor colour(SessionIndex::Mark kind);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    QSize sizeHint() const override { return {600, 28}; }

private:
    int xOf(std::int64_t ms) const;

    std::int64_t from_ = 0, to_ = 1;
    std::int64_t moment_ = 0, stretchFrom_ = 0, stretchTo_ = 0;
    const std::vector<SessionIndex::MarkAt>* marks_ = nullptr;
};

} // namespace cmbvhp
