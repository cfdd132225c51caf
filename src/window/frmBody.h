#pragma once

#include "Engine.h"
#include "FormLayout.h"
#include "QtPollTimer.h"
#include "record/SessionRecorder.h"
#include "common/FormControls.h"
#include "link/SerialComponent.h"

#include <QProcess>
#include <QStringList>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>

class QComboBox;
class QHelpEvent;
class QLineEdit;
class QMessageBox;
class QPushButton;
class QTimer;

namespace cmbvhp {

class LogView;

// What each port number reaches now, COM1 first: the tooltips of the "Com Port"
// items.
using PortDescriber = std::function<QStringList()>;

// The console's one window: its controls, start-up, the port switch, the
// traffic logs, and the entry point of every event.
class frmBody : public QWidget, public FormControls, private Clock, private frmBodyUi {
    Q_OBJECT
public:
    using frmBodyUi::kCaption;

    frmBody(std::unique_ptr<SerialBackend> backend, PortLocator locate, PortDescriber describePorts = {});
    ~frmBody() override;

    // Start-up and the port switch
    void Form_Load();
    void cmdPortOpen_Click();
    void Command1_Click() { finish(QStringLiteral("Finish")); }
    // Ends as "Finish" does; the session file gives `reason`.
    void finish(const QString& reason);
    // What "Finish" does but for closing the window: the port closed, taking
    // in what it received, and the session ended. For a program that ends
    // without its window.
    void end(const QString& reason);
    // Takes in, in order, whatever waits at the port: before the operator's
    // input reaches any control, so that a click acts after the bytes that
    // came before it.
    void takeIn();
    // The session being written, as far as it is written, in the session
    // viewer: what the right-click menu of either log offers.
    void openInViewer();
    // Starts a program apart from the console (a test seam).
    std::function<bool(const QString& program, const QStringList& args)> launch = [](const QString& p, const QStringList& a) {
        return QProcess::startDetached(p, a);
    };
    // Traffic logs
    void ViewMode_Click(int index);
    void Command2_Click();
    // Timers and the serial notification
    void Timer1_Timer()
    {
        // What came before the tick is framed before its frame goes out.
        ComeOne.drain();
        const EventTime t(*this);
        engine_.Timer1_Timer();
    }
    void Timer2_Timer() {}
    void ComeOne_OnComm()
    {
        const EventTime t(*this, ComeOne.waited());
        engine_.ComeOne_OnComm();
    }
    // Command buttons
    void bvCmd_Click(int index) { engine_.bvCmd_Click(static_cast<std::int16_t>(index)); }
    void cmCmd_Click(int index) { engine_.cmCmd_Click(static_cast<std::int16_t>(index)); }
    void cmdHp1_Click(int index) { engine_.cmdHp1_Click(static_cast<std::int16_t>(index)); }

    WindowState& state() { return engine_.state(); }
    GblFlag& gblFlag() { return engine_.gblFlag(); }
    SerialComponent& comeOne() { return ComeOne; }
    PollTimer& timer1() { return Timer1; }
    LogView& receiveLog() { return *txt수신; }
    LogView& transmitLog() { return *Text1; }
    // Puts the boxes' texts that wait for the display's pace on screen now.
    void showPending();
    // The clock of the logs' stamps, the line's health and the session file,
    // in milliseconds: the system's unless a test sets its own.
    void setLogClock(const std::function<std::int64_t()>& clock);
    const LineHealth& health() const { return engine_.health(); }
    SessionRecorder& recorder() { return recorder_; }
    // Session files are on from the start; the benchmark measures the console
    // without them too.
    void setSessionRecording(bool on)
    {
        recording_ = on;
        engine_.setTraffic(on ? &recorder_ : nullptr);
    }

    // FormControls
    QString text(Box box) const override;
    void setText(Box box, const QString& text) override;
    void appendLog(Log log, QStringView text) override;
    void appendLogLine(Log log, QStringView text) override;
    bool isSelected(Choice choice) const override;
    void tellOperator(const QString& message) override;

protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Clock: the time of the event being handled, read once at its start.
    Moment now() const override;
    Moment readClock() const;
    struct EventTime {
        explicit EventTime(frmBody& w, std::chrono::milliseconds late = {}) : w_(w), outer_(w.eventMoment_.has_value())
        {
            if (!outer_) {
                w_.eventMoment_ = w_.readClock();
                w_.eventMoment_->lateMs = late.count();
            }
        }
        ~EventTime()
        {
            if (!outer_)
                w_.eventMoment_.reset();
        }
        EventTime(const EventTime&) = delete;
        EventTime& operator=(const EventTime&) = delete;
        frmBody& w_;
        bool outer_;
    };

    void connectControls();
    void initLinkState();
    void portLost(const std::string& reason);
    // After a failed open or a lost port: no port, no ticks, choices unlocked.
    void returnToClosed();
    void setSelectorsEnabled(bool on);
    void setSettingsEnabled(bool on);
    void refreshPortTips();
    // The session file: begun at each open, ended with the line health.
    void beginSession();
    void endSession(const QString& reason);
    void recordOp(const QPushButton* button);
    // A line of the console's own in a log, and in the session file.
    void tellInLog(LogView* log, const QString& text);
    // Each device's frame tells its line health in its tooltip.
    bool showHealthTip(QWidget* frame, QHelpEvent* event);
    void refreshHealthTip();
    QString lineSettingsText() const;
    static int selectedIndex(const QComboBox* combo);
    QLineEdit* box(Box b) const { return boxes[static_cast<std::size_t>(b)]; }

    PortDescriber describePorts_;
    std::function<std::int64_t()> testClock_;
    std::optional<Moment> eventMoment_;
    SerialComponent ComeOne;
    QtPollTimer Timer1;
    QTimer* Timer2 = nullptr;
    Engine engine_;

    // Texts the logic has written and the display's pace has not yet shown.
    std::array<std::optional<QString>, kBoxCount> pendingTexts_{};

    QMessageBox* message_ = nullptr;
    SessionRecorder recorder_;
    bool recording_ = true;
    // Watches the operator's input for takeIn(); gone before the window's
    // members are, as the window's own closing is input too.
    std::unique_ptr<QObject> portFirst_;
    QWidget* healthTipFrame_ = nullptr; // the device frame whose tooltip is shown
    QPoint healthTipAt_;
    QString healthTip_;
};

} // namespace cmbvhp
