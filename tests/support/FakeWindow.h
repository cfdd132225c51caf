#pragma once

#include "common/FormControls.h"
#include "common/PollTimer.h"

#include <QStringList>
#include <array>

namespace cmbvhp::test {

// The window as plain values: box texts, the two logs, the device choice and
// the messages shown to the operator.
class FakeWindow : public FormControls {
public:
    FakeWindow()
    {
        for (Box b : {Box::TxtCh, Box::hpCount0, Box::hpCount1, Box::hpCount2, Box::hpCount3})
            setText(b, QStringLiteral("0"));
    }
    QString text(Box box) const override { return texts[static_cast<std::size_t>(box)]; }
    void setText(Box box, const QString& t) override { texts[static_cast<std::size_t>(box)] = t; }
    void appendLog(Log log, QStringView t) override { (log == Log::Text1 ? tx : rx).append(t); }
    void appendLogLine(Log log, QStringView t) override
    {
        QString& s = log == Log::Text1 ? tx : rx;
        if (!s.isEmpty() && !s.endsWith(u"\r\n"))
            s.append(u"\r\n");
        s.append(t).append(u"\r\n");
    }
    bool isSelected(Choice c) const override { return selected[static_cast<std::size_t>(c)]; }
    void tellOperator(const QString& message) override { messages.append(message); }

    std::array<QString, 18> texts;
    QString tx, rx;
    std::array<bool, 5> selected{true, false, true, false, false}; // checkBv, checkHp, optionCm, optionSlt, OptionCoin
    QStringList messages;
};

// Timer1 under the test's control: the test calls the tick itself.
class FakeTimer : public PollTimer {
public:
    void setInterval(std::chrono::milliseconds i) override
    {
        interval_ = i;
        ++restarts;
    }
    std::chrono::milliseconds interval() const override { return interval_; }
    void setEnabled(bool on) override
    {
        restarts += on && !enabled_;
        enabled_ = on;
    }
    bool isEnabled() const override { return enabled_; }

    int restarts = 0; // countdowns restarted

private:
    std::chrono::milliseconds interval_{0};
    bool enabled_ = false;
};

} // namespace cmbvhp::test
