#pragma once

#include "ScriptedPort.h"
#include "console/LogView.h"
#include "console/frmBody.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <algorithm>

namespace cmbvhp::test {

// frmBody on a scripted port; port number n reaches "/dev/testn", except the
// numbers listed in `missing`.
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
    // "1" for each enabled control of the list, "0" for each disabled one;
    // "bvCmd*7" stands for bvCmd(0) ... bvCmd(6).
    QString enabled(const char* names) const
    {
        QString s;
        for (const QString& name : QString::fromLatin1(names).split(u' ')) {
            const qsizetype star = name.indexOf(u'*');
            for (int i = 0; i < (star < 0 ? 1 : name.mid(star + 1).toInt()); ++i)
                s += get(star < 0 ? name : QStringLiteral("%1(%2)").arg(name.left(star)).arg(i))->isEnabled() ? u'1' : u'0';
        }
        return s;
    }
    WindowState& state() { return window.state(); }
    GblFlag& gblFlag() { return window.gblFlag(); }
    QString rxLog() { return window.receiveLog().toPlainText(); }
    QString txLog() { return window.transmitLog().toPlainText(); }

    QStringList portTips;
    ScriptedPort* port; // owned by the window's serial component
    frmBody window;
};

} // namespace cmbvhp::test
