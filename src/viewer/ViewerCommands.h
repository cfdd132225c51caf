#pragma once

#include <iosfwd>
#include <span>
#include <string>

namespace cmbvhp {

// cm_bv_hp_view --summary FILE...: a row for each session, its columns
// separated by tabs under a row of their names: the opening, how long it
// lasted, the port and the devices, each device's frames, answered, bad and
// silent ("-" for one without frames), the DROP and NOTE lines and the reason
// it ended. A file that cannot be read gets a row saying why, and the result
// is then 1.
int printSummary(std::span<const std::string> files, std::ostream& out);

// cm_bv_hp_view --at TIME FILE: the "Data" boxes as they stood at that moment,
// one a line: the box's control name, a blank, its text as the console
// showed it. 2 for a time that is not one, 1 for a file that cannot be read.
int printBoxesAt(const std::string& time, const std::string& file, std::ostream& out, std::ostream& err);

} // namespace cmbvhp
