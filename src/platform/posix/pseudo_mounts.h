// Pseudo file systems (proc, sysfs, cgroup, ...): their files describe the kernel, not data, and
// some of them block a reader for ever. Walks never enter them and no file on them is read.
#ifndef FSCANNER_PLATFORM_POSIX_PSEUDO_MOUNTS_H
#define FSCANNER_PLATFORM_POSIX_PSEUDO_MOUNTS_H

#include <cstdint>
#include <string>

namespace platform {
namespace internal {

// True for the mount types proc, sysfs, cgroup, cgroup2, devpts, devtmpfs, mqueue, debugfs,
// tracefs, securityfs, pstore, bpf, configfs, fusectl, hugetlbfs, binfmt_misc, autofs, efivarfs,
// rpc_pipefs and nsfs.
bool isPseudoFileSystemType(const std::string& type);

// True when a device number (st_dev) belongs to a mounted pseudo file system of this process's
// mount table. The table is read on first use and again only when the kernel reports that it
// changed or when it does not know the device, so a call normally costs one poll(2). False when
// the table cannot be read.
bool isPseudoFileSystemDevice(uint64_t device);

}  // namespace internal
}  // namespace platform

#endif  // FSCANNER_PLATFORM_POSIX_PSEUDO_MOUNTS_H
