#pragma once
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// While it lives, the calling thread loses the capabilities that let root read, write and change
// files past their permissions (they stay permitted and come back at the end), so that a file or
// folder without permission fails for root as it does for a user. Without those capabilities
// (not root) it changes nothing.
class PermissionsBindRoot {
public:
    PermissionsBindRoot()
    {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (::syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
        for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            lowered[cap / 32].effective &= ~(1u << (cap % 32));
        lowered_ = ::syscall(SYS_capset, &header_, lowered) == 0;
    }
    ~PermissionsBindRoot()
    {
        if (lowered_) ::syscall(SYS_capset, &header_, saved_);
    }
    PermissionsBindRoot(const PermissionsBindRoot&) = delete;
    PermissionsBindRoot& operator=(const PermissionsBindRoot&) = delete;

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool lowered_ = false;
};
