#pragma once

#include "LogText.h"

#include <QAbstractScrollArea>
#include <QTimer>

#include <chrono>
#include <functional>

namespace cmbvhp {

// A multi-line, read-only traffic log with a vertical scroll bar. It stays on
// the newest line unless the operator has scrolled up. Rows are selected with
// the mouse (Ctrl+A: all) and copied with Ctrl+C. Text is held at once and
// painted at the display's pace, only where it changed, and not at all while
// the window is hidden or minimised.
class LogView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit LogView(QWidget* parent = nullptr);

    // Milliseconds since the epoch; the wall clock unless a test sets its own.
    using Clock = std::function<std::int64_t()>;
    void setClock(Clock clock) { clock_ = std::move(clock); }
    // The receive log stamps each line with the last frame of `transmitLog`.
    void answersTo(const LogView* transmitLog) { sentLog_ = transmitLog; }

    void append(QStringView text);
    // Appends a line of its own: on a new line, ended by a line break.
    void appendLine(QStringView text);
    void clear();
    void setPlainText(QStringView text);
    QString toPlainText() const { return text_.text(); }
    const LogText& logText() const { return text_; }

    // Brings the scroll bar and the view up to date now rather than at the
    // next turn of the display's pace.
    void sync();
    // True while changes wait for the display's pace.
    bool syncPending() const { return beatRequested_; }

    // The selected rows as text; empty when nothing is selected.
    QString selectedText() const;
    void selectAll();

    // What hovering a row shows: when its line began, and for the receive log
    // how long after which frame ("07:12:03.431, 23 ms after 5A A5 was sent").
    QString rowToolTip(std::size_t row) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // The view paints its rows by the scroll bar itself (see sync()).
    void scrollContentsBy(int, int) override {}
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void scheduleSync(std::size_t changedRow);
    void showChanges();
    void syncScrollBar();
    void relayout();
    int visibleRows() const;
    std::size_t rowAt(int y) const;
    void clearSelection();

    LogText text_;
    Clock clock_;
    const LogView* sentLog_ = nullptr;
    std::size_t dirtyRow_ = 0; // the first row changed since the last sync
    std::size_t top_ = 0;      // the first row in view
    bool beatRequested_ = false;
    bool syncing_ = false;     // the scroll bar is being set, not moved by the operator
    QTimer barPace_;
    bool barStale_ = false;
    static constexpr std::chrono::milliseconds kScrollBarPace{250};
    bool followTail_ = true;
    int lineHeight_ = 1;
    // Selected rows: from anchor to cursor, both included; none while
    // anchor_ is npos.
    std::size_t anchor_ = npos;
    std::size_t cursor_ = npos;
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
};

} // namespace cmbvhp
