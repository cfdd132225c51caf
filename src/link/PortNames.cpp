#include "PortNames.h"

#include <cstdlib>
#include <system_error>

namespace cmbvhp {

PortNames::PortNames(std::filesystem::path linkFolder, std::filesystem::path devFolder)
    : linkFolder_(std::move(linkFolder)), devFolder_(std::move(devFolder))
{
}

std::filesystem::path PortNames::defaultLinkFolder()
{
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::filesystem::path(home) / ".config";
    else
        base = ".config";
    return base / "cm_bv_hp" / "ports";
}

std::optional<std::string> PortNames::deviceFor(int port) const
{
    if (port < 1 || port > 16)
        return std::nullopt;
    std::error_code ec;
    const auto link = linkFolder_ / ("com" + std::to_string(port));
    // A link that points nowhere (adapter unplugged) still names this port: the
    // open then fails, instead of quietly reaching an on-board port.
    if (std::filesystem::symlink_status(link, ec).type() != std::filesystem::file_type::not_found)
        return link.string();
    const auto onboard = devFolder_ / ("ttyS" + std::to_string(port - 1));
    if (std::filesystem::exists(onboard, ec))
        return onboard.string();
    return std::nullopt;
}

} // namespace cmbvhp
