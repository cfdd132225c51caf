#pragma once

#include "RowPainter.h"
#include "common/Clock.h"
#include "record/LogText.h"

#include <QAbstractScrollArea>
#include <QTimer>

#include <chrono>
#include <functional>

class QMenu;

namespace cmbvhp {

// A multi-line, read-only traffic log with a vertical scroll bar. It stays on
// the newest line unless the operator has scrolled up. Rows are selected with
// the mouse (Ctrl+A: all) and copied with Ctrl+C or the right-click menu,
// which also opens the folder of the session files. Text is held at once and
// painted at the display's pace, only where it changed, and not at all while
// the window is hidden or minimised. The oldest rows leave in blocks (see
// LogText); the first row's tooltip then says where the whole record is.
class LogView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit LogView(QWidget* parent = nullptr, LogLimits limits = LogLimits());

    // The time a line's first character came, and how late that may be; the
    // wall clock unless a test or the window sets its own.
    using Clock = std::function<Moment()>;
    void setClock(Clock clock) { clock_ = std::move(clock); }
    // The receive log stamps each line with the last frame of `transmitLog`.
    void answersTo(const LogView* transmitLog)
    {
        sentLog_ = transmitLog;
        text_.keepLastSent();
    }
    // Each row gets the time of its own first character (for views whose
    // lines never end).
    void setStampEachRow(bool on) { text_.setStampEachRow(on); }
    // The folder where every session is kept whole; empty when there is none.
    void setRecordFolder(const QString& folder) { recordFolder_ = folder; }

    void append(QStringView text);
    // Appends a line of its own, the console's own message: on a new line,
    // ended by a line break, answering no frame.
    void appendLine(QStringView text);
    void clear();
    // Replaces the text with a line of the console's own.
    void setPlainText(QStringView text);
    QString toPlainText() const { return text_.text(); }
    const LogText& logText() const { return text_; }

    // Brings the scroll bar and the view up to date now rather than at the
    // next turn of the display's pace; scroll input does so first.
    void sync();
    // True while changes wait for the display's pace.
    bool syncPending() const { return beatRequested_; }

    // Selects one row and brings it into view.
    void selectRow(std::size_t row);
    void showFirstRows(); // no row selected
    // Heard when the operator presses a row.
    std::function<void(std::size_t row)> onRowPressed;
    // Offered in the right-click menu when set.
    std::function<void()> openInViewer;

    // The selected rows as text; empty when nothing is selected.
    QString selectedText() const;
    void selectAll();

    // What hovering a row shows: when its line began, and for the receive log
    // how long after which frame ("07:12:03.431, 23 ms after 5A A5 was sent").
    QString rowToolTip(std::size_t row) const;
    void fillMenu(QMenu& menu); // the right-click menu

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
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void scheduleSync(std::size_t changedRow);
    void adoptDropped();
    void restart();
    void showChanges();
    void syncScrollBar(bool force = false);
    void relayout();
    int visibleRows() const;
    std::size_t rowAt(int y) const;
    void clearSelection();

    LogText text_;
    Clock clock_;
    const LogView* sentLog_ = nullptr;
    // The key of the last line the log was given, not a message of the
    // console's own: the receive log's lines answer the last frame.
    std::uint64_t lastFrame_ = 0;
    QString recordFolder_;
    std::uint64_t seenDropped_ = 0; // rows the view has seen leave the text
    bool ownMessage_ = false;       // a line of the console's own is being appended
    std::size_t dirtyRow_ = 0; // the first row changed since the last sync
    std::size_t top_ = 0;      // the first row in view
    bool beatRequested_ = false;
    bool syncing_ = false;     // the scroll bar is being set, not moved by the operator
    QTimer barPace_;
    bool barStale_ = false;
    static constexpr std::chrono::milliseconds kScrollBarPace{250};
    bool followTail_ = true;
    int lineHeight_ = 1;
    RowPainter rows_;
    // Selected rows: from anchor to cursor, both included; none while
    // anchor_ is npos.
    std::size_t anchor_ = npos;
    std::size_t cursor_ = npos;
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
};

} // namespace cmbvhp
