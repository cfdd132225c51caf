#include "ConsoleApp.h"

#include "FormLayout.h"
#include "link/PortNames.h"

#include <QApplication>
#include <QStyleFactory>

namespace cmbvhp {

void prepareApplication(QApplication& app)
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setFont(consoleFont(kWindowFontPx));
    app.setApplicationName(QStringLiteral("cm_bv_hp"));
}

PortLocator hostPorts()
{
    return [names = PortNames(PortNames::defaultLinkFolder())](int port) { return names.deviceFor(port); };
}

} // namespace cmbvhp
