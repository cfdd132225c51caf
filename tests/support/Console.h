#pragma once

#include "ScriptedPort.h"
#include "window/LogView.h"
#include "window/frmBody.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QRegularExpression>
#include <algorithm>
#include <ctime>
#include <gtest/gtest.h>

namespace cmbvhp::test {

// A time zone other than the test programs' UTC, for one test, so that a time
// written in UTC where local time is due shows; UTC again however it ends.
struct LocalZone {
    explicit LocalZone(const char* tz) { set(tz); }
    ~LocalZone() { set("UTC"); }
    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;
    static void set(const char* tz) { qputenv("TZ", tz), tzset(); }
};

// What a widget draws, pixel for pixel, against the picture kept as
// tests/pictures/NAME.png. A picture that differs is saved as NAME.png in the
// test's working folder, to be looked at and, where it is right, kept.
inline ::testing::AssertionResult looksAsKept(QWidget& w, const QString& name)
{
    QCoreApplication::processEvents(); // laid out for what it shows last
    const QImage drawn = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (drawn == QImage(QStringLiteral(CMBVHP_PICTURES "/%1.png").arg(name)).convertToFormat(QImage::Format_RGB32))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "not the picture kept; drawn as " << name.toStdString() << (drawn.save(name + QStringLiteral(".png")) ? ".png in the working folder" : ".png, which could not be saved");
}

// frmBody on a scripted port; port number n reaches "/dev/testn", except the
// numbers listed in `missing`. Or on a real backend and port rule.
struct Console {
    explicit Console(bool load = true, std::vector<int> missing = {})
        : port(new ScriptedPort),
          window(std::unique_ptr<SerialBackend>(port),
                 [missing](int n) {
                     if (std::find(missing.begin(), missing.end(), n) != missing.end())
                         throw CommError("no device for this port number");
                     return "/dev/test" + std::to_string(n);
                 },
                 [this] { return portTips; })
    {
        if (load)
            window.Form_Load();
    }
    Console(std::unique_ptr<SerialBackend> backend, PortLocator locate) : port(nullptr), window(std::move(backend), std::move(locate)) { window.Form_Load(); }

    template <typename W = QWidget>
    W* get(const QString& name) const { return window.findChild<W*>(name); }
    QAbstractButton* button(const QString& name) const { return get<QAbstractButton>(name); }
    QComboBox* setting(int i) const { return get<QComboBox>(QStringLiteral("Setting(%1)").arg(i)); }
    // A box as the operator sees it once the display has caught up.
    QString boxText(const char* name)
    {
        window.showPending();
        return get<QLineEdit>(QString::fromLatin1(name))->text();
    }
    // Control names from a list where "bvCmd*7" stands for bvCmd(0) ... bvCmd(6)
    // and "Label#2" for Label1 and Label2.
    static QStringList names(const char* list)
    {
        QStringList out;
        for (const QString& name : QString::fromUtf8(list).split(u' ')) {
            const qsizetype mark = name.indexOf(QRegularExpression(QStringLiteral("[*#]")));
            if (mark < 0)
                out << name;
            for (int i = 0; mark >= 0 && i < name.mid(mark + 1).toInt(); ++i)
                out << (name[mark] == u'#' ? name.left(mark) + QString::number(i + 1) : QStringLiteral("%1(%2)").arg(name.left(mark)).arg(i));
        }
        return out;
    }
    // "1" for each enabled control of the list, "0" for each disabled one.
    QString enabled(const char* list) const
    {
        QString s;
        for (const QString& name : names(list))
            s += get(name)->isEnabled() ? u'1' : u'0';
        return s;
    }
    // On a log clock at `now`: the port opens, the bill validator answers its
    // poll after 23 ms, and the coin mechanism's poll goes out 77 ms later.
    // The test ticks: a loaded machine's event loop would tick again.
    void openWithFirstReply(std::int64_t& now)
    {
        window.setLogClock([&now] { return now; });
        button("cmdPortOpen")->click();
        window.timer1().setEnabled(false);
        window.Timer1_Timer();
        now += 23;
        port->feed(hex("22 03 1B 01 00 19"));
        now += 77;
        window.Timer1_Timer(), window.timer1().setEnabled(false); // and again: the bill validator's status reply started it
    }
    WindowState& state() { return window.state(); }
    GblFlag& gblFlag() { return window.gblFlag(); }
    QString rxLog() { return window.receiveLog().toPlainText(); }
    QString txLog() { return window.transmitLog().toPlainText(); }

    QStringList portTips;
    ScriptedPort* port; // owned by the window's serial component; null on a real backend
    frmBody window;
};
// A console on screen, as the technician has it.
struct OnScreen : Console { OnScreen() { window.show(); } };

} // namespace cmbvhp::test
