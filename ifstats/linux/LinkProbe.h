#pragma once
// Link facts that cost a system call per interface (ethtool ioctls). The
// caller asks only when a link is new or has changed, never every second.

#include <cstdint>
#include <string>

namespace rtnl {

class LinkProbe {
public:
    LinkProbe();
    ~LinkProbe();
    LinkProbe(const LinkProbe&) = delete;
    LinkProbe& operator=(const LinkProbe&) = delete;

    // Bits per second, 0 when the kernel does not know it.
    std::uint64_t Speed(const std::string& name);
    // The driver's name, empty when the device reports none.
    std::string Driver(const std::string& name);

private:
    bool Ioctl(const std::string& name, void* data);
    int fd_ = -1;
};

// Ethtool reports Mb/s and marks an unknown speed as 0, 65535 or all ones.
std::uint64_t SpeedFromMbps(std::uint32_t mbps);

} // namespace rtnl
