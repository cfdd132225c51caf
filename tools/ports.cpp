// cm_bv_hp_ports: which serial devices are present, what COM1 ... COM16 reach,
// and the links that give a port number to an adapter.
#include "PortsTool.h"

#include <iostream>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const cmbvhp::PortsToolHost host{cmbvhp::PortNames(cmbvhp::PortNames::defaultLinkFolder()), "/dev/serial/by-id",
                                     [] { return cmbvhp::serialDevicesPresent(); }};
    return cmbvhp::runPortsTool(args, host, std::cout, std::cerr);
}
