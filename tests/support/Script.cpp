#include "Rig.h"

#include "Devices.h"

#include <gtest/gtest.h>

#include <charconv>
#include <functional>
#include <map>

namespace cmbvhp::test {

namespace {

// The state fields the rows read and write by name.
struct Field {
    const char* name;
    double (*get)(Engine&);
    void (*set)(Engine&, double);
};
#define CMBVHP_FIELD(f, of)                                                                                           \
    Field{#f, [](Engine& e) { return static_cast<double>(e.of().f); },                                                \
          [](Engine& e, double v) { e.of().f = static_cast<decltype(e.of().f)>(v); }},
#define CMBVHP_STATE(f) CMBVHP_FIELD(f, state)
const Field kFields[] = {
    CMBVHP_STATE(curDevice) CMBVHP_STATE(pollTurn) CMBVHP_STATE(bvCmdNo) CMBVHP_STATE(cmCmdNo) CMBVHP_STATE(hpCmdNo)
    CMBVHP_STATE(hpPending) CMBVHP_STATE(bvMiss) CMBVHP_STATE(cmMiss) CMBVHP_STATE(bvLongRead) CMBVHP_STATE(cmLongRead)
    CMBVHP_STATE(clearPending) CMBVHP_STATE(rxPos) CMBVHP_STATE(bvSeq) CMBVHP_STATE(cmSeq) CMBVHP_STATE(bvBill1)
    CMBVHP_STATE(bvBill2) CMBVHP_STATE(bvBill3) CMBVHP_STATE(bvAmount) CMBVHP_STATE(bvStatFlag) CMBVHP_STATE(cmAmount)
    CMBVHP_STATE(cmPaidAmount) CMBVHP_STATE(changeAmount) CMBVHP_FIELD(viewMode, gblFlag)};
#undef CMBVHP_STATE
#undef CMBVHP_FIELD

// In the order of Box.
const char* const kBoxes[] = {"txtamount", "TxtCh", "hpCount0", "hpCount1", "hpCount2", "hpCount3", "Txt08", "Txt09", "txt0a",
                              "Txt0b",     "txt18", "txt19",    "txt1a",    "txt1b",    "txt14",    "txt15", "txt16", "txt17"};

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
// What comes before the first `at`, and what after it (empty without one).
std::pair<std::string_view, std::string_view> cut(std::string_view s, char at = ' ')
{
    const auto i = s.find(at);
    return {s.substr(0, i), i == std::string_view::npos ? std::string_view{} : s.substr(i + 1)};
}
template <typename T = int>
T number(std::string_view v)
{
    T n = 0;
    std::from_chars(v.data(), v.data() + v.size(), n);
    return n;
}

struct Runner {
    Rig r;
    // What a check named NAME reads, and what a step NAME=VALUE writes.
    struct Slot {
        std::function<std::string()> get;
        std::function<void(std::string_view)> set;
    };
    std::map<std::string, Slot, std::less<>> named;

    Runner()
    {
        for (const Field& f : kFields)
            named[f.name] = {[this, &f] { return QString::number(f.get(r.engine), 'g', 15).toStdString(); },
                             [this, &f](std::string_view v) { f.set(r.engine, number<double>(v)); }};
        for (int b = 0; b < static_cast<int>(std::size(kBoxes)); ++b)
            named[kBoxes[b]] = {[this, b] { return r.ui.text(static_cast<Box>(b)).toStdString(); },
                                [this, b](std::string_view v) {
                                    r.ui.setText(static_cast<Box>(b), QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size())));
                                }};
        named["checkBv"].set = [this](std::string_view v) { r.ui.selected[0] = v == "1"; };
        named["coin"].set = [this](std::string_view v) {
            for (const auto& [i, name] : {std::pair(2, "cm"), std::pair(3, "slt"), std::pair(4, "none")})
                r.ui.selected[i] = v == name;
        };
        named["timer"] = {[this] { return std::string(r.timer.isEnabled() ? "on" : "off"); },
                          [this](std::string_view v) { r.timer.setEnabled(v == "on"); }};
        named["interval"] = {[this] { return std::to_string(r.timer.interval().count()); },
                             [this](std::string_view v) { r.timer.setInterval(std::chrono::milliseconds(number(v))); }};
        named["restarts"].get = [this] { return std::to_string(r.timer.restarts); };
        named["ms"].set = [this](std::string_view v) { r.clock.ms = number<std::int64_t>(v); };
        for (const auto& [name, party] : {std::pair("bvHealth", Party::BillValidator), {"cmHealth", Party::Coin}, {"hpHealth", Party::Hoppers}})
            named[name].get = [this, p = party] { return r.engine.health().party(p).summary().toStdString(); };
        const std::vector<Bytes>& wire = r.port->writes;
        named["frames"].get = [&wire] { return std::to_string(wire.size()); };
        named["last"].get = [&wire] { return wire.empty() ? std::string() : toHex(wire.back()); };
        named["wire"].get = [&wire] {
            std::string joined;
            for (const Bytes& w : wire)
                joined += (joined.empty() ? "" : " / ") + toHex(w);
            return joined;
        };
        auto log = [](const QString& s) { return QString(s).replace(QStringLiteral("\r\n"), QStringLiteral("|")).toStdString(); };
        named["tx"].get = [this, log] { return log(r.ui.tx); };
        named["rx"].get = [this, log] { return log(r.ui.rx); };
        named["msg"].get = [this] { return r.ui.messages.join(u'|').toStdString(); };
    }

    std::vector<double> values()
    {
        std::vector<double> out;
        for (const Field& f : kFields)
            out.push_back(f.get(r.engine));
        return out;
    }

    void step(std::string_view s)
    {
        const auto [verb, rest] = cut(s);
        const auto [name, value] = cut(s, '=');
        const auto slot = named.find(name);
        const Bytes bytes = hex(rest);
        if (verb == "tick" || verb.starts_with("tick*")) {
            for (int i = verb == "tick" ? 1 : number(verb.substr(5)); i > 0; --i)
                r.engine.Timer1_Timer();
        } else if (verb == "in" || verb.starts_with("in/")) {
            r.port->feed(bytes, verb == "in" ? SIZE_MAX : number<std::size_t>(verb.substr(3)));
        } else if (verb == "reply") {
            r.port->feed(sim::framedReply(bytes.at(0), Bytes(bytes.begin() + 1, bytes.end())));
        } else if (verb == "bv" || verb == "cm" || verb == "hp") {
            const auto i = number<std::int16_t>(rest);
            verb == "bv" ? r.engine.bvCmd_Click(i) : verb == "cm" ? r.engine.cmCmd_Click(i) : r.engine.cmdHp1_Click(i);
        } else if (verb == "send") {
            send(cut(rest).first, cut(rest).second);
        } else if (s == "full" || s == "ok") {
            r.port->pending = s == "full" ? 1020 : 0;
        } else if (s == "reopen") {
            r.comeOne.setPortOpen(false);
            r.comeOne.setPortOpen(true);
        } else if (s.find('=') != std::string_view::npos && slot != named.end() && slot->second.set) {
            slot->second.set(value);
        } else {
            ADD_FAILURE() << "unknown step: " << s;
        }
    }

    void send(std::string_view op, std::string_view arg)
    {
        CommandSender& send = r.engine.sender();
        const std::pair<std::string_view, void (CommandSender::*)(std::uint8_t)> plain[] = {
            {"short", &CommandSender::sendShort}, {"bvSet", &CommandSender::sendBvSet},
            {"bvReturn", &CommandSender::sendBvReturn}, {"cmSet", &CommandSender::sendCmSet}};
        const auto* at = std::find_if(std::begin(plain), std::end(plain), [&](const auto& p) { return p.first == op; });
        if (op == "change")
            send.sendCmChange();
        else if (op == "hp")
            send.sendHpCount(number(arg));
        else if (at != std::end(plain))
            (send.*at->second)(hex(arg).at(0));
        else
            ADD_FAILURE() << "unknown send: " << op;
    }

    // NAME=VALUE, or NAME~=VALUE for "contains".
    void check(std::string_view check)
    {
        ASSERT_NE(check.find('='), std::string_view::npos) << check;
        const auto [name, want] = cut(check, '=');
        if (name.ends_with('~'))
            EXPECT_NE(actual(name.substr(0, name.size() - 1)).find(want), std::string::npos) << name << " lacks " << want;
        else
            EXPECT_EQ(actual(name), want) << name;
    }

    // The text a check compares, as the row writes it.
    std::string actual(std::string_view name)
    {
        if (name.starts_with("rxBuf@"))
            return toHex({r.engine.state().rxBuf(number(name.substr(6)))});
        if (const auto slot = named.find(name); slot != named.end() && slot->second.get)
            return slot->second.get();
        ADD_FAILURE() << "unknown check: " << name;
        return {};
    }
};

void runCase(const Case& c)
{
    SCOPED_TRACE(c.steps);
    Runner run;
    const std::vector<double> before = run.values();
    for (std::string_view s : split(c.steps, ';'))
        s.starts_with('?') ? run.check(s.substr(1)) : run.step(s);
    // A piece that starts with no NAME= belongs to the check before it ("; " in a message).
    std::vector<std::string> checks;
    for (std::string_view piece : split(c.checks, ';')) {
        const std::string_view head = piece.substr(0, piece.find(' '));
        if (checks.empty() || head == "same" || head.find('=') != std::string_view::npos)
            checks.emplace_back(piece);
        else
            checks.back().append("; ").append(piece);
    }
    for (std::string_view check : checks) {
        if (check == "same") {
            const std::vector<double> after = run.values();
            for (std::size_t i = 0; i < after.size(); ++i)
                EXPECT_EQ(after[i], before[i]) << kFields[i].name << " changed";
            continue;
        }
        run.check(check);
    }
}

} // namespace

void runCases(std::initializer_list<Case> cases)
{
    for (const Case& c : cases)
        runCase(c);
}

} // namespace cmbvhp::test
