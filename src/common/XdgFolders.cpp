#include "XdgFolders.h"

#include <cstdlib>

namespace cmbvhp {

namespace {

std::filesystem::path absoluteVariable(const char* name)
{
    const char* value = std::getenv(name);
    if (!value || !*value)
        return {};
    std::filesystem::path p(value);
    return p.is_absolute() ? p : std::filesystem::path();
}

BaseFolder base(const char* variable, const char* belowHome)
{
    if (auto p = absoluteVariable(variable); !p.empty())
        return {std::move(p), {}};
    if (auto home = absoluteVariable("HOME"); !home.empty())
        return {home / belowHome, {}};
    return {{}, std::string("neither ") + variable + " nor HOME is set to an absolute folder"};
}

} // namespace

BaseFolder xdgConfigHome() { return base("XDG_CONFIG_HOME", ".config"); }
BaseFolder xdgStateHome() { return base("XDG_STATE_HOME", ".local/state"); }

} // namespace cmbvhp
