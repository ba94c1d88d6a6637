// `vaultsim mount PARTITION DIR`: mounts what the card behind a disk-mode
// partition node presents, read-only, with the node as the mount's source. Run
// by `mount -t fuse.vaultsim` through its helper; stays in the background
// serving the mount until it is unmounted.
#ifndef VAULTSIM_MOUNT_H
#define VAULTSIM_MOUNT_H

namespace vaultsim {

int mountContent(int argc, char** argv);

} // namespace vaultsim

#endif
