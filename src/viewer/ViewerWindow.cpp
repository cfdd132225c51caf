#include "ViewerWindow.h"

#include "TimeLine.h"
#include "window/FormLayout.h"
#include "window/LogView.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace cmbvhp {

namespace {
// The "Data" frame's boxes as the console captions and names them, in its
// three columns.
struct DataBox {
    const char* caption;
    const char* name;
    Box box;
};
constexpr DataBox kData[] = {
    {"Coin Total", "txtamount", Box::txtamount}, {"Coin Dispence", "TxtCh", Box::TxtCh}, {"08", "Txt08", Box::Txt08},
    {"09", "Txt09", Box::Txt09},                 {"0A", "txt0a", Box::txt0a},            {"0B", "Txt0b", Box::Txt0b},
    {"18", "txt18", Box::txt18},                 {"19", "txt19", Box::txt19},            {"1A", "txt1a", Box::txt1a},
    {"1B", "txt1b", Box::txt1b},                 {"15", "txt14", Box::txt14},            {"16", "txt15", Box::txt15},
    {"17", "txt16", Box::txt16},                 {"18", "txt17", Box::txt17},
};
} // namespace

ViewerWindow::ViewerWindow(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("viewer"));
    setWindowTitle(QStringLiteral("CM_BV_HP Session Viewer"));
    buildControls();
}

ViewerWindow::~ViewerWindow()
{
    stop_ = true;
    if (indexing_.joinable())
        indexing_.join();
}

void ViewerWindow::buildControls()
{
    auto* layout = new QVBoxLayout(this);
    title_ = new QLabel(this);
    title_->setObjectName(QStringLiteral("title"));
    title_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(title_);

    auto* reading = new QHBoxLayout;
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setRange(0, 1000);
    progress_->setFormat(QStringLiteral("reading the file: %p %"));
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status"));
    reading->addWidget(progress_);
    reading->addWidget(status_, 1);
    layout->addLayout(reading);

    timeLine_ = new TimeLine(this);
    timeLine_->onPicked = [this](std::int64_t ms) { showMoment(ms); };
    layout->addWidget(timeLine_);

    auto* moving = new QHBoxLayout;
    moving->addWidget(new QLabel(QStringLiteral("Go to"), this));
    goTo_ = new QLineEdit(this);
    goTo_->setObjectName(QStringLiteral("goTo"));
    goTo_->setPlaceholderText(QStringLiteral("HH:MM:SS.mmm or YYYY-MM-DD HH:MM:SS.mmm"));
    connect(goTo_, &QLineEdit::returnPressed, this, [this] {
        const auto at = index_ ? index_->timeOf(goTo_->text().trimmed().toStdString()) : std::nullopt;
        if (at)
            showMoment(*at);
        else
            status_->setText(QStringLiteral("\"%1\" is no time: give HH:MM:SS.mmm or YYYY-MM-DD HH:MM:SS.mmm.").arg(goTo_->text()));
    });
    moving->addWidget(goTo_, 1);
    markKind_ = new QComboBox(this);
    markKind_->setObjectName(QStringLiteral("markKind"));
    markKind_->addItem(QStringLiteral("any mark"));
    for (const char* name : SessionIndex::kMarkNames)
        markKind_->addItem(QString::fromLatin1(name));
    moving->addWidget(markKind_);
    for (int direction : {-1, 1}) {
        auto* b = new QPushButton(direction < 0 ? QStringLiteral("Previous (Shift+F3)") : QStringLiteral("Next (F3)"), this);
        b->setObjectName(direction < 0 ? QStringLiteral("previousMark") : QStringLiteral("nextMark"));
        connect(b, &QPushButton::clicked, this, [this, direction] { nextMark(direction); });
        moving->addWidget(b);
        auto* key = new QShortcut(direction < 0 ? QKeySequence(Qt::SHIFT | Qt::Key_F3) : QKeySequence(Qt::Key_F3), this);
        connect(key, &QShortcut::activated, this, [this, direction] { nextMark(direction); });
    }
    views_ = new QButtonGroup(this);
    const char* views[] = {"as shown", kViewCaptions[0], kViewCaptions[1], kViewCaptions[2]};
    for (int i = 0; i < 4; ++i) {
        auto* r = new QRadioButton(QString::fromLatin1(views[i]), this);
        r->setObjectName(QStringLiteral("view%1").arg(i));
        r->setToolTip(i == 0 ? QStringLiteral("The receive log in the views the console showed") : QStringLiteral("The receive log in this view"));
        views_->addButton(r, i);
        moving->addWidget(r);
    }
    views_->button(0)->setChecked(true);
    connect(views_, &QButtonGroup::idClicked, this, [this](int id) {
        view_ = id == 0 ? std::nullopt : std::optional<std::int16_t>(static_cast<std::int16_t>(id - 1));
        rowsTo_ = rowsFrom_ - 1; // drawn anew
        showMoment(moment_);
    });
    layout->addLayout(moving);

    auto* data = new QGridLayout;
    for (std::size_t i = 0; i < std::size(kData); ++i) {
        const int column = i < 2 ? 0 : i < 6 ? 1 : i < 10 ? 2 : 3;
        const int row = i < 2 ? static_cast<int>(i) : static_cast<int>((i - 2) % 4);
        auto* box = new QLineEdit(this);
        box->setObjectName(QString::fromLatin1(kData[i].name));
        box->setReadOnly(true);
        boxes_[static_cast<std::size_t>(kData[i].box)] = box;
        data->addWidget(new QLabel(QString::fromLatin1(kData[i].caption), this), row, 2 * column);
        data->addWidget(box, row, 2 * column + 1);
    }
    for (std::size_t p = 0; p < health_.size(); ++p) {
        health_[p] = new QLabel(this);
        health_[p]->setObjectName(QStringLiteral("health%1").arg(p));
        data->addWidget(health_[p], 4 + static_cast<int>(p), 0, 1, 8);
    }
    layout->addLayout(data);

    auto* logs = new QHBoxLayout;
    tx_ = new LogView(this);
    tx_->setObjectName(QStringLiteral("Text1"));
    rx_ = new LogView(this);
    rx_->setObjectName(QStringLiteral("txt수신"));
    rx_->answersTo(tx_);
    for (LogView* log : {tx_, rx_}) {
        log->setClock([this] { return playing_; });
        log->onRowPressed = [this, log](std::size_t row) {
            if (const auto stamp = log->logText().stampOfRow(row))
                showMoment(stamp->msSinceEpoch);
        };
    }
    logs->addWidget(tx_, 1);
    logs->addWidget(rx_, 3);
    layout->addLayout(logs, 1);
    resize(900, 700);
}

bool ViewerWindow::open(const QString& path)
{
    std::string error;
    auto index = SessionIndex::open(path.toStdString(), error);
    if (!index) {
        title_->setText(QStringLiteral("%1 is refused: %2").arg(path, QString::fromStdString(error)));
        progress_->hide();
        return false;
    }
    // The file shown until now goes, and with it what is still read of it: a
    // reading may have ended just before, and its end, handled later, must not
    // take this file over.
    stop_ = true;
    if (indexing_.joinable())
        indexing_.join();
    stop_ = false;
    built_ = false;
    const unsigned reading = ++reading_;
    index_ = std::move(index);
    const SessionIndex::Info& i = index_->info();
    // A port the console could not describe has no reach to show.
    const QString reach = i.reach.empty() ? QString() : QStringLiteral(" (%1)").arg(QString::fromStdString(i.reach));
    title_->setText(QStringLiteral("%1 — COM%2%3, %4; opened %5")
                        .arg(QFileInfo(path).fileName())
                        .arg(i.header.port)
                        .arg(reach, QString::fromStdString(i.devices), QString::fromStdString(index_->timeText(i.openedMs))));
    setWindowTitle(QFileInfo(path).fileName() + QStringLiteral(" — CM_BV_HP Session Viewer"));
    timeLine_->setSpan(i.openedMs, i.openedMs + 60'000);
    showMoment(i.openedMs); // the first screen, before the rest is read
    // The rest is read on a thread of its own, into an index of its own.
    auto whole = SessionIndex::open(path.toStdString(), error);
    if (!whole) {
        status_->setText(QStringLiteral("Refused: %1").arg(QString::fromStdString(error)));
        return true;
    }
    building_ = std::make_unique<SessionIndex>(std::move(*whole));
    indexing_ = std::thread([this, reading] {
        const bool done = building_->build(
            [this](double share) {
                QMetaObject::invokeMethod(progress_, [this, share] { progress_->setValue(static_cast<int>(share * 1000)); }, Qt::QueuedConnection);
            },
            &stop_);
        if (done)
            QMetaObject::invokeMethod(this, [this, reading] {
                if (reading == reading_)
                    indexDone();
            }, Qt::QueuedConnection);
        else if (!stop_)
            QMetaObject::invokeMethod(this, [this, reading] {
                if (reading == reading_)
                    status_->setText(QStringLiteral("Refused: %1").arg(QString::fromStdString(building_->error())));
            }, Qt::QueuedConnection);
    });
    return true;
}

void ViewerWindow::indexDone()
{
    indexing_.join(); // posting this was the reading's last act
    index_ = std::move(*building_);
    building_.reset();
    built_ = true;
    progress_->hide();
    const SessionIndex::Info& i = index_->info();
    status_->setText(QStringLiteral("%1 marks; lasted until %2%3")
                         .arg(index_->marks().size())
                         .arg(QString::fromStdString(index_->timeText(i.closedMs.value_or(i.lastMs))))
                         .arg(i.ended.empty() ? QStringLiteral(", without a closing line") : QStringLiteral(", ended: ") + QString::fromStdString(i.ended)));
    timeLine_->setSpan(i.openedMs, i.lastMs);
    timeLine_->setMarks(&index_->marks());
    rowsTo_ = rowsFrom_ - 1;
    showMoment(moment_);
}

void ViewerWindow::showMoment(std::int64_t ms)
{
    if (!index_)
        return;
    moment_ = std::clamp(ms, index_->info().openedMs, std::max(index_->info().openedMs, index_->info().lastMs));
    if (moment_ < rowsFrom_ || moment_ > rowsTo_)
        fillStretch(moment_);
    SessionReplay replay;
    index_->play(replay, moment_, moment_);
    for (const DataBox& d : kData)
        boxes_[static_cast<std::size_t>(d.box)]->setText(replay.box(d.box));
    for (std::size_t p = 0; p < health_.size(); ++p) {
        const auto party = static_cast<Party>(p);
        // On two lines: one would widen the window past a small screen.
        health_[p]->setText(QStringLiteral("%1: the whole session: %2;\nthis stretch: %3")
                                .arg(QString::fromLatin1(kPartyNames[p]),
                                     built_ ? index_->health().party(party).summary() : QStringLiteral("(being read)"),
                                     stretchHealth_.party(party).summary()));
    }
    timeLine_->setMoment(moment_, stretchFrom_, stretchTo_);
    scrollTo(tx_, txRows_, moment_);
    scrollTo(rx_, rxRows_, moment_);
    goTo_->setText(QString::fromStdString(index_->timeText(moment_)));
}

// The logs of the stretch around the moment, played from the file as the
// console wrote them, or in the view chosen.
void ViewerWindow::fillStretch(std::int64_t ms)
{
    const auto [from, to] = index_->stretchAround(ms);
    stretchFrom_ = from;
    stretchTo_ = to;
    tx_->clear();
    rx_->clear();
    txRows_.clear();
    rxRows_.clear();
    SessionReplay replay;
    replay.forceView(view_);
    // A log cleared before the moment shows what followed; one cleared after
    // it keeps what it held then. Either way a moment on the other side of
    // the clearing fills the logs anew.
    rowsFrom_ = from;
    rowsTo_ = to;
    bool frozen[2] = {};
    const auto n = [](Log l) { return l == Log::Text1 ? 0 : 1; };
    const auto log = [this](Log l) { return l == Log::Text1 ? tx_ : rx_; };
    replay.setLogSink({[&](Log l, QStringView t) {
                           if (!frozen[n(l)])
                               log(l)->append(t);
                       },
                       [&](Log l, QStringView t) {
                           if (!frozen[n(l)])
                               log(l)->appendLine(t);
                       },
                       [&](Log l) {
                           if (frozen[n(l)])
                               return;
                           if (playing_.wallMs > ms) {
                               frozen[n(l)] = true;
                               rowsTo_ = std::min(rowsTo_, playing_.wallMs - 1);
                               return;
                           }
                           rowsFrom_ = std::max(rowsFrom_, playing_.wallMs);
                           (l == Log::Text1 ? txRows_ : rxRows_).clear();
                           log(l)->clear();
                           if (l == Log::txt수신)
                               rx_->setStampEachRow(replay.viewMode() != 0);
                       }});
    bool first = true;
    index_->play(replay, from, to, [&](std::int64_t at) {
        if (first)
            rx_->setStampEachRow(replay.viewMode() != 0);
        first = false;
        playing_ = {at, at, 0};
        // An event's text goes into the last row: a whole row ends with its line end.
        if (!frozen[0])
            txRows_.emplace_back(at, std::max<std::size_t>(tx_->logText().rowCount(), 1) - 1);
        if (!frozen[1])
            rxRows_.emplace_back(at, std::max<std::size_t>(rx_->logText().rowCount(), 1) - 1);
    });
    stretchHealth_ = replay.health();
    if (view_) { // a view that does not frame judges no reply: the health is the file's, played as recorded
        SessionReplay recorded;
        index_->play(recorded, from, to);
        stretchHealth_ = recorded.health();
    }
    stretchHealth_.close();
    tx_->sync();
    rx_->sync();
}

void ViewerWindow::scrollTo(LogView* log, const std::vector<std::pair<std::int64_t, std::size_t>>& rows, std::int64_t ms)
{
    const auto at = std::upper_bound(rows.begin(), rows.end(), ms, [](std::int64_t t, const auto& r) { return t < r.first; });
    // A moment before the stretch's first row shows where the stretch begins.
    if (at == rows.begin())
        log->showFirstRows();
    else
        log->selectRow(std::min((at - 1)->second, log->logText().rowCount() - 1));
}

void ViewerWindow::nextMark(int direction)
{
    if (!built_)
        return;
    const int kind = markKind_->currentIndex() - 1;
    const auto& marks = index_->marks();
    const auto fits = [kind](const SessionIndex::MarkAt& m) { return kind < 0 || static_cast<int>(m.kind) == kind; };
    if (direction > 0) {
        const auto it = std::find_if(marks.begin(), marks.end(), [&](const auto& m) { return m.ms > moment_ && fits(m); });
        if (it != marks.end())
            showMoment(it->ms);
    } else {
        const auto it = std::find_if(marks.rbegin(), marks.rend(), [&](const auto& m) { return m.ms < moment_ && fits(m); });
        if (it != marks.rend())
            showMoment(it->ms);
    }
}

QString ViewerWindow::boxText(Box box) const
{
    const QLineEdit* b = boxes_[static_cast<std::size_t>(box)];
    return b ? b->text() : QString();
}

} // namespace cmbvhp
