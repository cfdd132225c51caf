#pragma once

#include "LogText.h"

#include <QAbstractScrollArea>

namespace cmbvhp {

// A multi-line, read-only traffic log with a vertical scroll bar. It stays on
// the newest line unless the operator has scrolled up. Rows are selected with
// the mouse (Ctrl+A: all) and copied with Ctrl+C.
class LogView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit LogView(QWidget* parent = nullptr);

    void append(QStringView text);
    void clear();
    void setPlainText(QStringView text);
    QString toPlainText() const { return text_.text(); }
    const LogText& logText() const { return text_; }

    // Brings the scroll bar and the view up to date now rather than at the next
    // turn of the event loop.
    void sync();

    // The selected rows as text; empty when nothing is selected.
    QString selectedText() const;
    void selectAll();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void scheduleSync();
    void relayout();
    int visibleRows() const;
    std::size_t rowAt(int y) const;
    void clearSelection();

    LogText text_;
    bool syncQueued_ = false;
    bool followTail_ = true;
    int lineHeight_ = 1;
    // Selected rows: from anchor to cursor, both included; none while
    // anchor_ is npos.
    std::size_t anchor_ = npos;
    std::size_t cursor_ = npos;
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
};

} // namespace cmbvhp
