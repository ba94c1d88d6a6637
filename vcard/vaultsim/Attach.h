// `vaultsim attach`, `detach` and `clean-up`: disk mode from the shell.
#ifndef VAULTSIM_ATTACH_H
#define VAULTSIM_ATTACH_H

#include <string>

namespace vaultsim {

// Starts `serve IMAGE --disk [options]` in the background and prints, once the
// disk is ready, one line: DISK PARTITION MOUNT PID. The server's messages go
// to IMAGE.log.
int attach(int argc, char** argv);
// Stops the server of the disk named by its image, disk node or partition node
// and waits until its disk is gone.
int detach(const std::string& name);
int cleanUp();

} // namespace vaultsim

#endif
