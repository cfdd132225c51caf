#include "PortNames.h"

#include "SerialBackend.h"

#include <QSerialPortInfo>

#include <algorithm>
#include <system_error>

namespace cmbvhp {

namespace fs = std::filesystem;

namespace {

fs::path canonicalOrSelf(const fs::path& p)
{
    std::error_code ec;
    const fs::path c = fs::weakly_canonical(p, ec);
    return ec ? p : c;
}

// ": description, maker M, serial number S" for what the system says of the
// device at `canonical`; empty when it says nothing.
std::string details(const fs::path& canonical, std::span<const SerialDevice> devices)
{
    const auto it = std::find_if(devices.begin(), devices.end(),
                                 [&](const SerialDevice& d) { return canonicalOrSelf(d.path) == canonical; });
    if (it == devices.end())
        return {};
    std::string out;
    auto add = [&out](const std::string& label, const std::string& value) {
        if (!value.empty())
            out += (out.empty() ? ": " : ", ") + label + value;
    };
    add("", it->description);
    add("maker ", it->manufacturer);
    add("serial number ", it->serialNumber);
    return out;
}

} // namespace

std::vector<SerialDevice> serialDevicesPresent(const fs::path& byIdFolder)
{
    std::vector<SerialDevice> out;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        out.push_back({info.systemLocation().toStdString(), {}, info.description().toStdString(),
                       info.manufacturer().toStdString(), info.serialNumber().toStdString()});
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(byIdFolder, ec)) {
        const fs::path target = canonicalOrSelf(entry.path());
        for (SerialDevice& d : out)
            if (canonicalOrSelf(d.path) == target)
                d.byId = entry.path().string();
    }
    return out;
}

PortNames::PortNames(fs::path linkFolder, fs::path devFolder)
    : linkFolder_(std::move(linkFolder)), devFolder_(std::move(devFolder))
{
}

PortNames::PortNames(const BaseFolder& linkFolder, fs::path devFolder)
    : linkFolder_(linkFolder.path), folderProblem_(linkFolder.problem), devFolder_(std::move(devFolder))
{
}

BaseFolder PortNames::defaultLinkFolder()
{
    BaseFolder base = xdgConfigHome();
    if (!base.path.empty())
        base.path = base.path / "cm_bv_hp" / "ports";
    return base;
}

PortNames::Named PortNames::named(int port) const
{
    if (port < 1 || port > kPorts)
        return {};
    std::error_code ec;
    if (!linkFolder_.empty()) {
        const fs::path link = linkPath(port);
        // ENOENT and ENOTDIR come back as "not found"; any other error is the
        // folder's, such as a folder that cannot be searched.
        const auto st = fs::symlink_status(link, ec);
        if (st.type() != fs::file_type::not_found) {
            if (ec)
                return {{}, false, "the port folder " + linkFolder_.string() + " cannot be read: " + ec.message()};
            return {link.string(), true, {}};
        }
    }
    const auto onboard = devFolder_ / ("ttyS" + std::to_string(port - 1));
    if (fs::exists(onboard, ec))
        return {onboard.string(), false, {}};
    return {};
}

std::string PortNames::locate(int port) const
{
    const Named n = named(port);
    if (!n.problem.empty())
        throw CommError("COM" + std::to_string(port) + " cannot be looked up: " + n.problem + ".");
    std::error_code ec;
    // Only a device that is certainly absent is "no device"; anything else is
    // left to the open, which says what is wrong.
    if (n.path.empty() || fs::status(n.path, ec).type() == fs::file_type::not_found)
        throw CommError(noDeviceReason(port, serialDevicesPresent()));
    return n.path;
}

std::string PortNames::reach(int port, std::span<const SerialDevice> devices) const
{
    const Named n = named(port);
    if (!n.problem.empty())
        return n.problem;
    if (n.path.empty())
        return "no device";
    std::error_code ec;
    const fs::path path(n.path);
    std::string text;
    if (n.inFolder && fs::is_symlink(fs::symlink_status(path, ec))) {
        const fs::path target = fs::read_symlink(path, ec);
        text = "link to " + target.string();
        if (!fs::exists(path, ec))
            return text + ", which is not present";
        const fs::path resolved = canonicalOrSelf(path);
        if (resolved != target)
            text += " (" + resolved.string() + ")";
    } else if (n.inFolder) {
        text = "device " + path.string();
    } else {
        text = "on-board port " + path.string();
    }
    return text + details(canonicalOrSelf(path), devices);
}

std::string PortNames::noDeviceReason(int port, std::span<const SerialDevice> devices) const
{
    const std::string com = "COM" + std::to_string(port);
    if (port < 1 || port > kPorts)
        return "no port number is selected.";
    std::string text = com + " reaches no device";
    const std::string now = reach(port, devices);
    if (now != "no device")
        text += " (" + now + ")";
    if (linkFolder_.empty())
        text += ". There is no port folder for links: " + folderProblem_ + ".";
    else
        text += ". Make the link " + linkPath(port).string() + " to the adapter: cm_bv_hp_ports link " +
                std::to_string(port) + " DEVICE.";
    if (devices.empty())
        return text + " No serial devices are present.";
    text += " Serial devices present:";
    for (std::size_t i = 0; i < devices.size(); ++i)
        text += (i ? ", " : " ") + (devices[i].byId.empty() ? devices[i].path : devices[i].byId);
    return text + ".";
}

} // namespace cmbvhp
