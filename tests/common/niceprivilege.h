#pragma once

// Running a thread as a user's process would: without CAP_SYS_NICE (and with
// no room in RLIMIT_NICE), priorities can be lowered but not raised; without
// CAP_LEASE, another user's file takes no lease.

#ifdef __linux__

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace testsupport {

// Drops capability cap from the calling thread and from the threads it makes
// from now on; capabilities belong to each thread, and the rest of the
// process keeps its own.
inline bool DropThreadCapability(unsigned cap)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    const unsigned bit = 1u << cap;
    data[0].effective &= ~bit;
    data[0].permitted &= ~bit;
    data[0].inheritable &= ~bit;
    return ::syscall(SYS_capset, &header, data) == 0;
}

// Drops CAP_SYS_NICE as above. False when it cannot, or when RLIMIT_NICE
// would let the thread raise priorities all the same.
inline bool DropNicePrivilege()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NICE, &limit) != 0 || limit.rlim_cur != 0)
        return false;
    return DropThreadCapability(CAP_SYS_NICE);
}

// Whether the calling thread may raise priorities.
inline bool HasNicePrivilege()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    return ::syscall(SYS_capget, &header, data) == 0 && (data[0].effective & (1u << CAP_SYS_NICE)) != 0;
}

} // namespace testsupport

#endif
