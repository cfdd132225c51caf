#pragma once

#include "LogText.h"

#include <QAbstractScrollArea>

namespace cmbvhp {

// A multi-line, read-only traffic log with a vertical scroll bar. It stays on
// the newest line unless the operator has scrolled up.
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

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void scheduleSync();
    void relayout();
    int visibleRows() const;

    LogText text_;
    bool syncQueued_ = false;
    bool followTail_ = true;
    int lineHeight_ = 1;
};

} // namespace cmbvhp
