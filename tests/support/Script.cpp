#include "Rig.h"

#include <gtest/gtest.h>

#include <charconv>

namespace cmbvhp::test {

namespace {

// The state fields the rows read and write by name.
#define CMBVHP_FIELDS(X)                                                                                              \
    X(curDevice) X(pollTurn) X(bvCmdNo) X(cmCmdNo) X(hpCmdNo) X(hpPending) X(bvMiss) X(cmMiss) X(bvLongRead)          \
        X(cmLongRead) X(clearPending) X(rxPos) X(bvSeq) X(cmSeq) X(bvBill1) X(bvBill2) X(bvBill3) X(bvAmount)         \
            X(bvStatFlag) X(cmAmount) X(cmPaidAmount) X(changeAmount)
#define CMBVHP_NAME(f) #f,
const char* const kFieldNames[] = {CMBVHP_FIELDS(CMBVHP_NAME) "viewMode"};
#define CMBVHP_GET(f) static_cast<double>(s.f),
std::vector<double> values(Rig& r)
{
    const WindowState& s = r.state();
    return {CMBVHP_FIELDS(CMBVHP_GET) static_cast<double>(r.gblFlag().viewMode)};
}
#define CMBVHP_SET(f)                                                                                                 \
    if (name == #f) {                                                                                                 \
        s.f = static_cast<decltype(s.f)>(v);                                                                          \
        return true;                                                                                                  \
    }
bool setField(Rig& r, std::string_view name, double v)
{
    WindowState& s = r.state();
    CMBVHP_FIELDS(CMBVHP_SET)
    if (name == "viewMode")
        r.gblFlag().viewMode = static_cast<std::int16_t>(v);
    return name == "viewMode";
}
#undef CMBVHP_SET
#undef CMBVHP_GET
#undef CMBVHP_NAME
#undef CMBVHP_FIELDS
int fieldIndex(std::string_view name)
{
    for (std::size_t i = 0; i < std::size(kFieldNames); ++i)
        if (name == kFieldNames[i])
            return static_cast<int>(i);
    return -1;
}

const char* const kBoxes[] = {"txtamount", "TxtCh", "hpCount0", "hpCount1", "hpCount2", "hpCount3", "Txt08", "Txt09", "txt0a",
                              "Txt0b",     "txt18", "txt19",    "txt1a",    "txt1b",    "txt14",    "txt15", "txt16", "txt17"};
int boxIndex(std::string_view name)
{
    for (int i = 0; i < 18; ++i)
        if (name == kBoxes[i])
            return i;
    return -1;
}

std::vector<std::string_view> split(std::string_view s, char sep)
{
    std::vector<std::string_view> out;
    for (std::size_t at = 0; at != std::string_view::npos;) {
        at = s.find(sep);
        std::string_view item = s.substr(0, at);
        item.remove_prefix(std::min(item.find_first_not_of(' '), item.size()));
        if (!item.empty())
            out.push_back(item);
        s.remove_prefix(at == std::string_view::npos ? s.size() : at + 1);
    }
    return out;
}
double number(std::string_view v)
{
    double d = 0;
    std::from_chars(v.data(), v.data() + v.size(), d);
    return d;
}
std::uint8_t byte(std::string_view v) { return static_cast<std::uint8_t>(std::stoi(std::string(v), nullptr, 16)); }
QString qs(std::string_view v) { return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size())); }

struct Runner {
    Rig r;
    std::vector<std::string> wire;

    void collect()
    {
        for (const Bytes& w : r.port->writes)
            wire.push_back(toHex(w));
        r.port->writes.clear();
    }

    void step(std::string_view s)
    {
        const auto space = s.find(' ');
        const std::string_view verb = s.substr(0, space);
        const std::string_view rest = space == std::string_view::npos ? std::string_view{} : s.substr(space + 1);
        const auto eq = s.find('=');
        if (verb == "tick" || verb.starts_with("tick*")) {
            for (int i = verb == "tick" ? 1 : static_cast<int>(number(verb.substr(5))); i > 0; --i) {
                r.tick();
                collect();
            }
        } else if (verb == "in" || verb.starts_with("in/")) {
            r.port->feed(hex(rest), verb == "in" ? SIZE_MAX : static_cast<std::size_t>(number(verb.substr(3))));
        } else if (verb == "reply") {
            const Bytes b = hex(rest);
            r.receive(framed(b.at(0), Bytes(b.begin() + 1, b.end())));
        } else if (verb == "bv" || verb == "cm" || verb == "hp") {
            const auto i = static_cast<std::int16_t>(number(rest));
            verb == "bv" ? r.engine.bvCmd_Click(i) : verb == "cm" ? r.engine.cmCmd_Click(i) : r.engine.cmdHp1_Click(i);
        } else if (verb == "send") {
            send(split(rest, ' '));
        } else if (s == "full" || s == "ok") {
            r.port->pending = s == "full" ? 1020 : 0;
        } else if (eq == std::string_view::npos || !assign(s.substr(0, eq), s.substr(eq + 1))) {
            ADD_FAILURE() << "unknown step: " << s;
        }
    }

    void send(const std::vector<std::string_view>& p)
    {
        CommandSender& send = r.engine.sender();
        const std::string_view op = p.at(0);
        if (op == "change")
            send.sendCmChange();
        else if (op == "hp")
            send.sendHpCount(static_cast<int>(number(p.at(1))));
        else if (op == "short")
            send.sendShort(byte(p.at(1)));
        else if (op == "bvSet")
            send.sendBvSet(byte(p.at(1)));
        else if (op == "bvReturn")
            send.sendBvReturn(byte(p.at(1)));
        else if (op == "cmSet")
            send.sendCmSet(byte(p.at(1)));
        collect();
    }

    bool assign(std::string_view name, std::string_view value)
    {
        using Coin = FakeWindow::Coin;
        if (setField(r, name, number(value)))
            return true;
        if (const int b = boxIndex(name); b >= 0)
            r.ui.setText(static_cast<Box>(b), qs(value));
        else if (name == "checkBv")
            r.ui.checkBv = value == "1";
        else if (name == "coin")
            r.ui.coin = value == "slt" ? Coin::Selector : value == "none" ? Coin::None : Coin::Mechanism;
        else if (name == "timer")
            r.timer.setEnabled(value == "on");
        else if (name == "interval")
            r.timer.setInterval(std::chrono::milliseconds(static_cast<int>(number(value))));
        else
            return false;
        return true;
    }

    // The text a check compares, as the row writes it.
    std::string actual(std::string_view name)
    {
        std::string joined;
        for (const auto& w : wire)
            joined += (joined.empty() ? "" : " / ") + w;
        auto log = [](const QString& s) { return QString(s).replace(QStringLiteral("\r\n"), QStringLiteral("|")).toStdString(); };
        if (name == "wire")
            return joined;
        if (name == "last")
            return wire.empty() ? "" : wire.back();
        if (name == "frames")
            return std::to_string(wire.size());
        if (name == "tx" || name == "rx")
            return log(name == "tx" ? r.ui.tx : r.ui.rx);
        if (name == "msg")
            return r.ui.messages.join(u'|').toStdString();
        if (name == "timer")
            return r.timer.isEnabled() ? "on" : "off";
        if (name == "interval" || name == "restarts")
            return std::to_string(name == "interval" ? r.timer.interval().count() : r.timer.restarts);
        if (name.starts_with("rxBuf@"))
            return toHex({r.state().rxBuf(static_cast<int>(number(name.substr(6))))});
        if (const int f = fieldIndex(name); f >= 0)
            return QString::number(values(r)[static_cast<std::size_t>(f)], 'g', 15).toStdString();
        if (const int b = boxIndex(name); b >= 0)
            return r.ui.text(static_cast<Box>(b)).toStdString();
        ADD_FAILURE() << "unknown check: " << name;
        return {};
    }
};

} // namespace

void runCase(const Case& c)
{
    SCOPED_TRACE(c.steps);
    Runner run;
    const std::vector<double> before = values(run.r);
    // Fields the steps assign are not changes made by the logic.
    std::vector<std::string_view> assigned;
    for (std::string_view s : split(c.steps, ';')) {
        if (s.find(' ') == std::string_view::npos)
            assigned.push_back(s.substr(0, s.find('=')));
        run.step(s);
    }
    for (std::string_view check : split(c.checks, ';')) {
        if (check == "same") {
            const std::vector<double> after = values(run.r);
            for (std::size_t i = 0; i < after.size(); ++i) {
                if (std::find(assigned.begin(), assigned.end(), kFieldNames[i]) == assigned.end()) {
                    EXPECT_EQ(after[i], before[i]) << kFieldNames[i] << " changed";
                }
            }
            continue;
        }
        const auto eq = check.find('=');
        ASSERT_NE(eq, std::string_view::npos) << check;
        const std::string_view name = check.substr(0, eq);
        const std::string_view want = check.substr(eq + 1);
        if (name.ends_with('~'))
            EXPECT_NE(run.actual(name.substr(0, name.size() - 1)).find(want), std::string::npos) << name << " lacks " << want;
        else
            EXPECT_EQ(run.actual(name), want) << name;
    }
}

void runCases(std::initializer_list<Case> cases)
{
    for (const Case& c : cases)
        runCase(c);
}

} // namespace cmbvhp::test
