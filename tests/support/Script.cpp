#include "Rig.h"

#include <gtest/gtest.h>

#include <charconv>
#include <functional>

namespace cmbvhp::test {

namespace {

struct Field {
    const char* name;
    std::function<double(Rig&)> get;
    std::function<void(Rig&, double)> set;
};
#define CMBVHP_FIELD(f)                                                                                               \
    Field{#f, [](Rig& r) { return static_cast<double>(r.state().f); },                                              \
          [](Rig& r, double v) { r.state().f = static_cast<decltype(r.state().f)>(v); }}
const Field kFields[] = {
    CMBVHP_FIELD(curDevice),   CMBVHP_FIELD(pollTurn),     CMBVHP_FIELD(bvCmdNo),    CMBVHP_FIELD(cmCmdNo),
    CMBVHP_FIELD(hpCmdNo),     CMBVHP_FIELD(hpPending),    CMBVHP_FIELD(bvMiss),     CMBVHP_FIELD(cmMiss),
    CMBVHP_FIELD(bvLongRead),  CMBVHP_FIELD(cmLongRead),   CMBVHP_FIELD(clearPending), CMBVHP_FIELD(rxPos),
    CMBVHP_FIELD(rxLen),       CMBVHP_FIELD(rxXor),        CMBVHP_FIELD(bvSeq),      CMBVHP_FIELD(cmSeq),
    CMBVHP_FIELD(bvBill1),     CMBVHP_FIELD(bvBill2),      CMBVHP_FIELD(bvBill3),    CMBVHP_FIELD(bvAmount),
    CMBVHP_FIELD(bvStatFlag),  CMBVHP_FIELD(cmAmount),     CMBVHP_FIELD(cmPaidAmount), CMBVHP_FIELD(changeAmount),
    Field{"viewMode", [](Rig& r) { return static_cast<double>(r.gblFlag().viewMode); },
          [](Rig& r, double v) { r.gblFlag().viewMode = static_cast<std::int16_t>(v); }},
};
#undef CMBVHP_FIELD

const char* const kBoxes[] = {"txtamount", "TxtCh", "hpCount0", "hpCount1", "hpCount2", "hpCount3",
                              "Txt08",     "Txt09", "txt0a",    "Txt0b",    "txt18",    "txt19",
                              "txt1a",     "txt1b", "txt14",    "txt15",    "txt16",    "txt17"};

const Field* field(std::string_view name)
{
    for (const Field& f : kFields)
        if (name == f.name)
            return &f;
    return nullptr;
}
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
    while (!s.empty()) {
        const auto at = s.find(sep);
        std::string_view item = s.substr(0, at);
        while (!item.empty() && item.front() == ' ')
            item.remove_prefix(1);
        if (!item.empty())
            out.push_back(item);
        if (at == std::string_view::npos)
            break;
        s.remove_prefix(at + 1);
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
QString logText(const QString& log) { return QString(log).replace(QStringLiteral("\r\n"), QStringLiteral("|")); }

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
        if (verb == "tick" || verb.starts_with("tick*")) {
            const int n = verb == "tick" ? 1 : static_cast<int>(number(verb.substr(5)));
            for (int i = 0; i < n; ++i) {
                r.tick();
                collect();
            }
        } else if (verb == "in") {
            r.receive(hex(rest));
        } else if (verb.starts_with("in/")) {
            r.port->feed(hex(rest), static_cast<std::size_t>(number(verb.substr(3))));
        } else if (verb == "reply") {
            const Bytes b = hex(rest);
            r.receive(framed(b.at(0), Bytes(b.begin() + 1, b.end())));
        } else if (verb == "bv" || verb == "cm" || verb == "hp") {
            const auto i = static_cast<std::int16_t>(number(rest));
            verb == "bv" ? r.engine.bvCmd_Click(i) : verb == "cm" ? r.engine.cmCmd_Click(i) : r.engine.cmdHp1_Click(i);
        } else if (verb == "send") {
            send(rest);
        } else if (s == "full" || s == "ok") {
            r.port->pending = s == "full" ? 1020 : 0;
        } else if (const auto eq = s.find('='); eq != std::string_view::npos) {
            assign(s.substr(0, eq), s.substr(eq + 1));
        } else {
            ADD_FAILURE() << "unknown step: " << s;
        }
    }

    void send(std::string_view what)
    {
        const auto parts = split(what, ' ');
        CommandSender& send = r.engine.sender();
        const std::string_view op = parts.at(0);
        if (op == "change")
            send.sendCmChange();
        else if (op == "hp")
            send.sendHpCount(static_cast<int>(number(parts.at(1))));
        else if (op == "short")
            send.sendShort(byte(parts.at(1)));
        else if (op == "bvSet")
            send.sendBvSet(byte(parts.at(1)));
        else if (op == "bvReturn")
            send.sendBvReturn(byte(parts.at(1)));
        else if (op == "cmSet")
            send.sendCmSet(byte(parts.at(1)));
        collect();
    }

    void assign(std::string_view name, std::string_view value)
    {
        if (const Field* f = field(name))
            f->set(r, number(value));
        else if (const int b = boxIndex(name); b >= 0)
            r.ui.setText(static_cast<Box>(b), QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
        else if (name == "checkBv")
            r.ui.checkBv = value == "1";
        else if (name == "coin")
            r.ui.coin = value == "slt" ? FakeWindow::Coin::Selector : value == "none" ? FakeWindow::Coin::None : FakeWindow::Coin::Mechanism;
        else if (name == "timer")
            r.timer.setEnabled(value == "on");
        else if (name == "interval")
            r.timer.setInterval(std::chrono::milliseconds(static_cast<int>(number(value))));
        else
            ADD_FAILURE() << "unknown name: " << name;
    }

    // The text a check compares, as the row writes it.
    std::string actual(std::string_view name)
    {
        auto join = [](const std::vector<std::string>& v) {
            std::string out;
            for (const auto& s : v)
                out += (out.empty() ? "" : " / ") + s;
            return out;
        };
        auto num = [](double d) { return QString::number(d, 'g', 15).toStdString(); };
        if (name == "wire")
            return join(wire);
        if (name == "last")
            return wire.empty() ? "" : wire.back();
        if (name == "frames")
            return std::to_string(wire.size());
        if (name == "tx" || name == "rx")
            return logText(name == "tx" ? r.ui.tx : r.ui.rx).toStdString();
        if (name == "msg")
            return r.ui.messages.join(u'|').toStdString();
        if (name == "timer")
            return r.timer.isEnabled() ? "on" : "off";
        if (name == "interval")
            return std::to_string(r.timer.interval().count());
        if (name == "restarts")
            return std::to_string(r.timer.restarts);
        if (name.starts_with("rxBuf@"))
            return toHex({r.state().rxBuf(static_cast<int>(number(name.substr(6))))});
        if (const Field* f = field(name))
            return num(f->get(r));
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
    std::vector<double> before;
    for (const Field& f : kFields)
        before.push_back(f.get(run.r));
    // Fields set by the steps' own assignments are not changes made by the logic.
    std::vector<std::string_view> assigned;
    for (std::string_view s : split(c.steps, ';')) {
        if (s.find('=') != std::string_view::npos && s.find(' ') == std::string_view::npos)
            assigned.push_back(s.substr(0, s.find('=')));
        run.step(s);
    }
    for (std::string_view check : split(c.checks, ';')) {
        if (check == "same") {
            for (std::size_t i = 0; i < std::size(kFields); ++i) {
                if (std::find(assigned.begin(), assigned.end(), kFields[i].name) == assigned.end()) {
                    EXPECT_EQ(kFields[i].get(run.r), before[i]) << kFields[i].name << " changed";
                }
            }
            continue;
        }
        const auto eq = check.find('=');
        ASSERT_NE(eq, std::string_view::npos) << check;
        std::string_view name = check.substr(0, eq);
        const std::string_view want = check.substr(eq + 1);
        if (name.ends_with('~')) {
            const std::string got = run.actual(name.substr(0, name.size() - 1));
            EXPECT_NE(got.find(want), std::string::npos) << got << " does not contain " << want;
            continue;
        }
        EXPECT_EQ(run.actual(name), want) << name;
    }
}

void runCases(std::initializer_list<Case> cases)
{
    for (const Case& c : cases)
        runCase(c);
}

} // namespace cmbvhp::test
