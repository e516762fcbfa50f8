// A private network namespace for test binaries that put packets on a network: entered before main
// while the process has one thread, with loopback up and a veth pair "gvA" (10.0.0.5/24, the
// station's camera port) and "gvB" (the camera side). Nothing reaches the machine's interfaces.
#pragma once

#include "camera/gige/ipconfig.h"

#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

inline bool EnterPrivateNetwork()
{
    if (::unshare(CLONE_NEWNET) != 0) {
        const uid_t uid = ::getuid();
        const gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
            return false;
        std::ofstream("/proc/self/setgroups") << "deny";
        std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
        std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
    }
    return std::system("ip link set lo up && ip link add gvA type veth peer name gvB && "
                       "ip addr add 10.0.0.5/24 dev gvA && ip link set gvA up && ip link set gvB up") == 0;
}

// True only when the namespace was made and this process sees no interface but its own.
inline bool OnlyPrivateInterfaces(bool entered)
{
    if (!entered)
        return false;
    for (const NetInterface &interface : LocalInterfaces())
        if (interface.name != "lo" && interface.name != "gvA" && interface.name != "gvB")
            return false;
    return true;
}

#define SKIP_WITHOUT_PRIVATE_NETWORK(entered)                                                         \
    if (!OnlyPrivateInterfaces(entered))                                                              \
    GTEST_SKIP() << "no private network namespace of its own (unshare and ip needed): nothing is sent " \
                    "on this machine's interfaces"
