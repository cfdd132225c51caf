#include "ConsoleApp.h"

#include "FormLayout.h"

#include <QApplication>
#include <QStyleFactory>

namespace cmbvhp {

void prepareApplication(QApplication& app)
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setFont(consoleFont(kWindowFontPx));
    app.setApplicationName(QStringLiteral("cm_bv_hp"));
}

PortLocator hostPorts(const PortNames& names)
{
    return [names](int port) { return names.locate(port); };
}

PortDescriber hostPortDescriptions(const PortNames& names)
{
    return [names] {
        const auto devices = serialDevicesPresent();
        QStringList out;
        for (int port = 1; port <= PortNames::kPorts; ++port)
            out << QString::fromStdString(names.reach(port, devices));
        return out;
    };
}

} // namespace cmbvhp
