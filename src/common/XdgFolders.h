#pragma once

#include <filesystem>
#include <string>

namespace cmbvhp {

// A base folder of the XDG rule, or why there is none.
struct BaseFolder {
    std::filesystem::path path; // empty when there is none
    std::string problem;        // why there is none
};

// $XDG_CONFIG_HOME, else $HOME/.config; $XDG_STATE_HOME, else
// $HOME/.local/state. A variable that is unset, empty or not an absolute path
// is ignored, as the rule says; a relative HOME gives no folder at all rather
// than one below whatever the current folder happens to be.
BaseFolder xdgConfigHome();
BaseFolder xdgStateHome();

} // namespace cmbvhp
