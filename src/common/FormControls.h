#pragma once

#include <QString>
#include <QStringView>

#include <cstddef>

namespace cmbvhp {

// Text boxes the link logic reads or writes, by their control names.
enum class Box {
    txtamount,
    TxtCh,
    hpCount0,
    hpCount1,
    hpCount2,
    hpCount3,
    Txt08,
    Txt09,
    txt0a,
    Txt0b,
    txt18,
    txt19,
    txt1a,
    txt1b,
    txt14,
    txt15,
    txt16,
    txt17,
};
inline constexpr std::size_t kBoxCount = 18;
static_assert(static_cast<std::size_t>(Box::txt17) + 1 == kBoxCount);

inline Box hpCountBox(int index) { return static_cast<Box>(static_cast<int>(Box::hpCount0) + index); }

// The two traffic logs: Text1 (transmit) and txt수신 (receive).
enum class Log { Text1, txt수신 };

// Check boxes and option buttons of the device choice.
enum class Choice { checkBv, checkHp, optionCm, optionSlt, OptionCoin };

// The window as the link, polling and decoding logic sees it. frmBody implements
// it with its widgets; tests implement it with plain values.
class FormControls {
public:
    virtual ~FormControls() = default;

    virtual QString text(Box box) const = 0;
    virtual void setText(Box box, const QString& text) = 0;
    // Appends at the end of a log. "\r\n" ends a line.
    virtual void appendLog(Log log, QStringView text) = 0;
    // Appends a line of its own: on a new line, ended by "\r\n".
    virtual void appendLogLine(Log log, QStringView text) = 0;
    virtual bool isSelected(Choice choice) const = 0;
    // A message for the operator. Must return at once: it may be called from
    // inside a tick or a receive notification, which must not be re-entered.
    virtual void tellOperator(const QString& message) = 0;
};

} // namespace cmbvhp
