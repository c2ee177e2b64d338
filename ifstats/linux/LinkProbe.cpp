#include "LinkProbe.h"

#include <cstring>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace rtnl {

std::uint64_t SpeedFromMbps(std::uint32_t mbps)
{
    if (mbps == 0 || mbps == 65535 || mbps == UINT32_MAX)
        return 0;
    return std::uint64_t{mbps} * 1'000'000;
}

LinkProbe::LinkProbe() : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}

LinkProbe::~LinkProbe()
{
    if (fd_ >= 0)
        close(fd_);
}

bool LinkProbe::Ioctl(const std::string& name, void* data)
{
    if (fd_ < 0 || name.empty() || name.size() >= IFNAMSIZ)
        return false;
    ifreq request{};
    std::memcpy(request.ifr_name, name.data(), name.size());
    request.ifr_data = static_cast<char*>(data);
    return ioctl(fd_, SIOCETHTOOL, &request) == 0;
}

std::uint64_t LinkProbe::Speed(const std::string& name)
{
    // ETHTOOL_GSET is answered through the driver's link settings on every
    // current kernel, in one call where ETHTOOL_GLINKSETTINGS needs two.
    ethtool_cmd command{};
    command.cmd = ETHTOOL_GSET;
    if (!Ioctl(name, &command))
        return 0;
    return SpeedFromMbps(ethtool_cmd_speed(&command));
}

std::string LinkProbe::Driver(const std::string& name)
{
    ethtool_drvinfo info{};
    info.cmd = ETHTOOL_GDRVINFO;
    if (!Ioctl(name, &info))
        return {};
    return {info.driver, strnlen(info.driver, sizeof info.driver)};
}

} // namespace rtnl
