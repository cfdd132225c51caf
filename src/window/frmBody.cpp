#include "frmBody.h"

#include "DisplayPace.h"
#include "LogView.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QProcess>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolTip>

namespace cmbvhp {

namespace {
constexpr std::chrono::milliseconds kTimer2Interval{50000};

// The combos' items, index 0 first.
const char* const kBauds[] = {"19200", "9600", "4800", "2400", "1200", "600"};
const char* const kParities[] = {"None", "Even", "Odd", "Mark", "Space"};
const char* const kDataBits[] = {"8", "7", "6", "5", "4"};
const char* const kStopBits[] = {"1", "1.5", "2"};
const char* const kEofChars[] = {"None", "LF", "CR", "CR + LF"};

// The line-settings fragment of each index.
const char* const kBaudText[] = {"19200", "9600", "4800", "2400", "1200", "600"};
const char* const kParityText[] = {",N", ",E", ",O", ",M", ",S"};
const char* const kDataBitsText[] = {",8", ",7", ",6", ",5", ",4"};
const char* const kStopBitsText[] = {",1", ",1.5", ",2"};

template <std::size_t N>
void fill(QComboBox* combo, const char* const (&items)[N])
{
    for (const char* item : items)
        combo->addItem(QString::fromLatin1(item));
}

template <std::size_t N>
QString fragment(int index, const char* const (&texts)[N])
{
    return index >= 0 && index < static_cast<int>(N) ? QString::fromLatin1(texts[index]) : QString();
}

// The operator's input reaches no control before what came at the port is
// taken in. It is watched at the application, so that every control, key,
// menu and dialog passes here, those added later too.
class PortFirst : public QObject {
public:
    explicit PortFirst(frmBody& window) : window_(window) { QCoreApplication::instance()->installEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::ContextMenu:
        case QEvent::Drop:
        case QEvent::Close: window_.takeIn(); break;
        default: break;
        }
        return false;
    }

private:
    frmBody& window_;
};
} // namespace

frmBody::frmBody(std::unique_ptr<SerialBackend> backend, PortLocator locate, PortDescriber describePorts)
    : describePorts_(std::move(describePorts)), ComeOne(std::move(backend), std::move(locate)), Timer1(this),
      engine_(*this, ComeOne, Timer1, *this), recorder_([this](const QString& line) { txt수신->appendLine(line); }, [this] { return now(); })
{
    setObjectName(QStringLiteral("frmBody"));
    setupUi(this);
    static_cast<OpeningCombo*>(Setting[0])->aboutToOpen = [this] { refreshPortTips(); };
    txt수신->answersTo(Text1);
    connectControls();

    Timer1.timer().setObjectName(QStringLiteral("Timer1"));
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(kTimer2Interval);
    connect(Timer2, &QTimer::timeout, this, &frmBody::Timer2_Timer);
    Timer2->start();

    // What the operator types lands in the text the box shows: a text still
    // waiting for the display's pace is shown before a key or a paste is applied.
    for (QLineEdit* b : boxes)
        b->installEventFilter(this);
    for (LogView* log : {Text1, txt수신}) {
        log->setClock([this] { return now(); });
        log->setRecordFolder(QString::fromStdString(recorder_.folder().path.string()));
        log->openInViewer = [this] { openInViewer(); };
    }
    engine_.setTraffic(&recorder_);
    portFirst_ = std::make_unique<PortFirst>(*this);
    DisplayPace::instance().atEveryBeat(this, [this] { return ComeOne.drain(SerialBackend::AfterDrain::RestWhileBusy); });
    // The device frames (the bill validator's, the coin device's, the hoppers').
    for (QGroupBox* frame : {Frame[4], Frame[3], Frame[2]})
        frame->installEventFilter(this);
}

bool frmBody::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip && (watched == Frame[4] || watched == Frame[3] || watched == Frame[2]))
        return showHealthTip(static_cast<QWidget*>(watched), static_cast<QHelpEvent*>(event));
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
    case QEvent::Drop:
    case QEvent::MouseButtonPress:
        if (std::any_of(pendingTexts_.begin(), pendingTexts_.end(), [](const auto& t) { return t.has_value(); }))
            showPending();
        break;
    default: break;
    }
    return QWidget::eventFilter(watched, event);
}

Moment frmBody::readClock() const
{
    if (testClock_) {
        const std::int64_t ms = testClock_();
        return {ms, ms};
    }
    return {QDateTime::currentMSecsSinceEpoch(),
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count()};
}

Moment frmBody::now() const { return eventMoment_ ? *eventMoment_ : readClock(); }

frmBody::~frmBody()
{
    if (recorder_.active())
        end(QStringLiteral("the window was closed"));
}

// The viewer stands beside the console, installed or built; else on the path.
void frmBody::openInViewer()
{
    const QString file = recorder_.filePath();
    if (!recorder_.active() || file.isEmpty()) {
        tellOperator(QStringLiteral("No session is being recorded: open the port first."));
        return;
    }
    // What the recorder holds goes to the file now; the line being received
    // follows when it ends.
    recorder_.handOverNow();
    const QString here = QCoreApplication::applicationDirPath();
    QString viewer = QStringLiteral("cm_bv_hp_view");
    for (const QString& place : {here + QStringLiteral("/cm_bv_hp_view"), here + QStringLiteral("/../viewer/cm_bv_hp_view")})
        if (QFileInfo(place).isExecutable()) {
            viewer = place;
            break;
        }
    if (!launch(viewer, {file}))
        tellOperator(QStringLiteral("The session viewer (%1) could not be started.").arg(viewer));
}

void frmBody::takeIn()
{
    if (ComeOne.PortOpen())
        ComeOne.drain();
}

void frmBody::connectControls()
{
    connect(&Timer1.timer(), &QTimer::timeout, this, &frmBody::Timer1_Timer);
    ComeOne.OnComm = [this] { ComeOne_OnComm(); };
    ComeOne.OnPortLost = [this](const std::string& reason) { portLost(reason); };

    connect(cmdPortOpen, &QPushButton::clicked, this, &frmBody::cmdPortOpen_Click);
    connect(Command1, &QPushButton::clicked, this, &frmBody::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, [this] {
        recordOp(Command2);
        Command2_Click();
    });
    connect(viewModeGroup, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (!checked)
            return;
        recorder_.op(QStringLiteral("View ") + ViewMode[static_cast<std::size_t>(id)]->text(), now());
        ViewMode_Click(id);
    });
    // What the operator presses is in the session file; the start-up
    // sequences' replayed presses are not.
    for (std::size_t i = 0; i < bvCmd.size(); ++i)
        connect(bvCmd[i], &QPushButton::clicked, this, [this, i] {
            recordOp(bvCmd[i]);
            bvCmd_Click(static_cast<int>(i));
        });
    for (std::size_t i = 0; i < cmCmd.size(); ++i)
        connect(cmCmd[i], &QPushButton::clicked, this, [this, i] {
            recordOp(cmCmd[i]);
            cmCmd_Click(static_cast<int>(i));
        });
    for (std::size_t i = 0; i < cmdHp1.size(); ++i)
        connect(cmdHp1[i], &QPushButton::clicked, this, [this, i] {
            recordOp(cmdHp1[i]);
            cmdHp1_Click(static_cast<int>(i));
        });
}

// ---- Start-up and the port switch ----

void frmBody::Form_Load()
{
    GblFlag& g = gblFlag();
    g.viewMode = 0;
    ViewMode[0]->setChecked(true);

    g.portOpen = ComeOne.PortOpen() ? kTrue : kFalse;
    cmdPortOpen->setText(g.portOpen == kTrue ? QStringLiteral("Port Close") : QStringLiteral("Port Open"));

    for (int port = 1; port <= SerialComponent::kMaxPort; ++port)
        Setting[0]->addItem(QStringLiteral("COM%1").arg(port));
    Setting[0]->setCurrentIndex(0);
    fill(Setting[1], kBauds);
    Setting[1]->setCurrentIndex(1);
    fill(Setting[2], kParities);
    Setting[2]->setCurrentIndex(1);
    fill(Setting[3], kDataBits);
    Setting[3]->setCurrentIndex(0);
    fill(Setting[4], kStopBits);
    Setting[4]->setCurrentIndex(0);
    fill(Setting[5], kEofChars);
    Setting[5]->setCurrentIndex(0);

    initLinkState();
    checkBv->setChecked(true);
}

void frmBody::initLinkState()
{
    WindowState& s = state();
    s.rxPos = 1;
    s.bvLongRead = 0;
    Timer1.setInterval(kPollInterval);
    Timer1.setEnabled(false);
    s.bvSeq = 0;
}

// An editable combo whose text was typed over has no selected index.
int frmBody::selectedIndex(const QComboBox* combo)
{
    const int i = combo->currentIndex();
    return i >= 0 && combo->currentText() == combo->itemText(i) ? i : -1;
}

QString frmBody::lineSettingsText() const
{
    return fragment(selectedIndex(Setting[1]), kBaudText) + fragment(selectedIndex(Setting[2]), kParityText) +
           fragment(selectedIndex(Setting[3]), kDataBitsText) + fragment(selectedIndex(Setting[4]), kStopBitsText);
}

void frmBody::setSelectorsEnabled(bool on)
{
    for (QWidget* w : std::initializer_list<QWidget*>{checkBv, checkHp, optionCm, optionSlt, OptionCoin})
        w->setEnabled(on);
}

// Refreshed each time the list opens: adapters come and go.
void frmBody::refreshPortTips()
{
    if (!describePorts_)
        return;
    const QStringList tips = describePorts_();
    for (int i = 0; i < Setting[0]->count() && i < tips.size(); ++i)
        Setting[0]->setItemData(i, tips[i], Qt::ToolTipRole);
}

void frmBody::setSettingsEnabled(bool on)
{
    for (QComboBox* combo : Setting)
        combo->setEnabled(on);
}

void frmBody::cmdPortOpen_Click()
{
    WindowState& s = state();
    GblFlag& g = gblFlag();
    try {
        if (g.portOpen != kTrue) {
            beginSession();
            setSelectorsEnabled(false);
            for (std::size_t i = 0; i < 5; ++i)
                cmdHp1[i]->setEnabled(checkHp->isChecked());
            for (QPushButton* b : bvCmd)
                b->setEnabled(checkBv->isChecked());
            // Coin buttons by the coin choice: all for the coin mechanism, none
            // without one, and the selector has no "Stand By" and no "Change".
            const bool mech = optionCm->isChecked();
            const bool selector = optionSlt->isChecked();
            for (std::size_t i = 0; i < cmCmd.size(); ++i) {
                const bool selectorHasIt = i != 0 && i != CommandButtons::kChange;
                cmCmd[i]->setEnabled(mech || (selector && selectorHasIt));
            }
            TxtCh->setEnabled(mech);
            s.curDevice = (!checkBv->isChecked() && OptionCoin->isChecked()) ? device::kHopper : device::kNone;
            Timer1.setEnabled(true);
            const QString settings = lineSettingsText();

            ComeOne.setInputLen(1);
            ComeOne.setInBufferSize(1024);
            ComeOne.setOutBufferSize(1024);
            ComeOne.setSThreshold(2);
            ComeOne.setRThreshold(1);
            ComeOne.setEOFEnable(false);
            ComeOne.setDTREnable(false);
            ComeOne.setRTSEnable(false);
            ComeOne.setNullDiscard(false);
            ComeOne.setCommPort(selectedIndex(Setting[0]) + 1);
            ComeOne.setSettings(settings.toStdString());
            ComeOne.setInputMode(1);
            ComeOne.setPortOpen(true);

            setSettingsEnabled(false);
            cmdPortOpen->setText(QStringLiteral("Port Close"));
            cmdPortOpen->setToolTip(QString());
            engine_.health().reset();
            g.portOpen = kTrue;
        } else {
            setSelectorsEnabled(true);
            Timer1.setEnabled(false);
            ComeOne.setPortOpen(false);
            setSettingsEnabled(true);
            cmdPortOpen->setText(QStringLiteral("Port Open"));
            g.portOpen = kFalse;
            endSession(QStringLiteral("Port Close"));
        }
    } catch (const CommError& e) {
        const QString message = QString::number(ComeOne.CommPort()) + QStringLiteral("is not opend");
        txt수신->setPlainText(message);
        // The log's text is fixed; the reason is kept where the operator can
        // find it without losing it.
        const QString reason = QString::fromStdString(e.what());
        cmdPortOpen->setToolTip(reason);
        recorder_.note(message + QStringLiteral(" (") + reason + u')', now());
        returnToClosed();
        endSession(QStringLiteral("the port could not be opened"));
    }
}

void frmBody::beginSession()
{
    if (!recording_)
        return;
    const int port = selectedIndex(Setting[0]) + 1;
    const QStringList reach = describePorts_ ? describePorts_() : QStringList();
    QStringList devices;
    if (checkBv->isChecked())
        devices << checkBv->text();
    for (QRadioButton* coin : {optionCm, optionSlt, OptionCoin})
        if (coin->isChecked())
            devices << coin->text();
    if (checkHp->isChecked())
        devices << checkHp->text();
    recorder_.begin({port, port >= 1 && port <= reach.size() ? reach[port - 1] : QString(), lineSettingsText(), devices.join(QStringLiteral(", "))},
                    now());
}

// The session ends with each device's line health: every device chosen, and
// any other that was sent frames (the hoppers in a hoppers-only test).
void frmBody::endSession(const QString& reason)
{
    engine_.health().close();
    if (!recorder_.active())
        return;
    QStringList closing;
    const bool chosen[] = {checkBv->isChecked(), !OptionCoin->isChecked(), checkHp->isChecked()};
    for (std::size_t p = 0; p < std::size(chosen); ++p) {
        const PartyHealth& h = engine_.health().party(static_cast<Party>(p));
        if (chosen[p] || h.frames > 0)
            closing << QString::fromLatin1(kPartyNames[p]) + QStringLiteral(": ") + h.summary();
    }
    recorder_.end(reason, closing, now());
}

void frmBody::recordOp(const QPushButton* button)
{
    if (!recorder_.active())
        return;
    QString what = button->text();
    // Captions both device rows have are told apart by their frame's.
    const auto shared = std::find(bvCmd.begin(), bvCmd.begin() + 3, button) != bvCmd.begin() + 3 ||
                        std::find(cmCmd.begin(), cmCmd.begin() + 3, button) != cmCmd.begin() + 3;
    if (shared)
        what += QStringLiteral(" (%1)").arg(static_cast<const QGroupBox*>(button->parentWidget())->title());
    if (button == cmCmd[CommandButtons::kChange])
        what += u' ' + text(Box::TxtCh);
    for (std::size_t i = 0; i < hpCount.size(); ++i)
        if (button == cmdHp1[i])
            what += u' ' + text(hpCountBox(static_cast<int>(i)));
    recorder_.op(what, now());
}

bool frmBody::showHealthTip(QWidget* frame, QHelpEvent* event)
{
    healthTipFrame_ = frame;
    healthTipAt_ = event->globalPos();
    refreshHealthTip();
    return true;
}

// Shown again at the display's pace while it stays up, so that the counts move.
void frmBody::refreshHealthTip()
{
    if (!healthTipFrame_ || (!healthTip_.isEmpty() && (!QToolTip::isVisible() || QToolTip::text() != healthTip_))) {
        healthTipFrame_ = nullptr;
        healthTip_.clear();
        return;
    }
    const Party party = healthTipFrame_ == Frame[4] ? Party::BillValidator : healthTipFrame_ == Frame[3] ? Party::Coin : Party::Hoppers;
    const PartyHealth& h = engine_.health().party(party);
    healthTip_ = h.frames == 0 ? QStringLiteral("No frames yet") : h.summary().replace(QStringLiteral("; "), QStringLiteral("\n"));
    QToolTip::showText(healthTipAt_, healthTip_, healthTipFrame_);
    DisplayPace::instance().request(healthTipFrame_, [this] { refreshHealthTip(); });
}

void frmBody::tellInLog(LogView* log, const QString& text)
{
    log->appendLine(text);
    recorder_.note(text, now());
}

void frmBody::returnToClosed()
{
    Timer1.setEnabled(false);
    if (ComeOne.PortOpen())
        ComeOne.setPortOpen(false);
    gblFlag().portOpen = kFalse;
    cmdPortOpen->setText(QStringLiteral("Port Open"));
    setSelectorsEnabled(true);
    setSettingsEnabled(true);
}

void frmBody::portLost(const std::string& reason)
{
    // A report that comes after the operator closed the port is not news.
    if (gblFlag().portOpen != kTrue)
        return;
    const QString why = QString::fromStdString(reason);
    tellInLog(txt수신, QStringLiteral("COM%1 was lost (%2); the port is closed.").arg(ComeOne.CommPort()).arg(why));
    returnToClosed();
    endSession(QStringLiteral("the port was lost (%1)").arg(why));
}

void frmBody::finish(const QString& reason)
{
    end(reason);
    close();
}

void frmBody::end(const QString& reason)
{
    GblFlag& g = gblFlag();
    if (g.portOpen == kTrue) {
        ComeOne.setPortOpen(false);
        setSettingsEnabled(true);
        g.portOpen = kFalse;
    }
    endSession(reason);
}

// ---- Traffic logs ----

void frmBody::ViewMode_Click(int index)
{
    gblFlag().viewMode = static_cast<std::int16_t>(index);
    txt수신->clear();
    // These views never end a line: each row tells the time of its own first byte.
    txt수신->setStampEachRow(index != 0);
}

void frmBody::Command2_Click()
{
    txt수신->clear();
    Text1->clear();
    setText(Box::txtamount, QString());
    setText(Box::TxtCh, QStringLiteral("0"));
}

// ---- The window as the logic sees it ----

QString frmBody::text(Box b) const
{
    const auto& pending = pendingTexts_[static_cast<std::size_t>(b)];
    return pending ? *pending : box(b)->text();
}

// Held until the display's pace comes, and read back as written meanwhile.
void frmBody::setText(Box b, const QString& text)
{
    auto& pending = pendingTexts_[static_cast<std::size_t>(b)];
    if (box(b)->text() == text)
        pending.reset();
    else
        pending = text;
    if (pending)
        DisplayPace::instance().request(this, [this] { showPending(); });
}

void frmBody::showPending()
{
    DisplayPace::instance().cancel(this);
    for (std::size_t i = 0; i < boxes.size(); ++i)
        if (auto& pending = pendingTexts_[i]) {
            boxes[i]->setText(*pending);
            pending.reset();
        }
}

void frmBody::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && !isMinimized())
        showPending(); // the logs bring themselves up to date on the show event a restore sends
}

void frmBody::appendLog(Log log, QStringView text) { (log == Log::Text1 ? Text1 : txt수신)->append(text); }

void frmBody::appendLogLine(Log log, QStringView text) { tellInLog(log == Log::Text1 ? Text1 : txt수신, text.toString()); }

void frmBody::setLogClock(const std::function<std::int64_t()>& clock) { testClock_ = clock; }

bool frmBody::isSelected(Choice choice) const
{
    const QAbstractButton* const inOrder[] = {checkBv, checkHp, optionCm, optionSlt, OptionCoin}; // as Choice lists them
    return inOrder[static_cast<std::size_t>(choice)]->isChecked();
}

// Shown without a nested event loop: ticks and receive notifications go on
// while the operator reads it. One box serves every message.
void frmBody::tellOperator(const QString& message)
{
    if (!message_) {
        message_ = new QMessageBox(this);
        message_->setObjectName(QStringLiteral("message"));
        message_->setIcon(QMessageBox::NoIcon);
        message_->setStandardButtons(QMessageBox::Ok);
        message_->setWindowTitle(QCoreApplication::applicationName());
        message_->setWindowModality(Qt::NonModal);
    }
    message_->setText(message);
    message_->show();
    message_->raise();
}

} // namespace cmbvhp
