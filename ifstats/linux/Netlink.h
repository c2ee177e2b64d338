#pragma once
// An rtnetlink socket that runs one dump at a time. It answers for the network
// namespace it was made in.

#include "RtnlParse.h"

#include <cstdint>
#include <vector>

namespace rtnl {

enum class DumpResult { Ok, Failed, Interrupted };

class NetlinkSocket {
public:
    NetlinkSocket();
    ~NetlinkSocket();
    NetlinkSocket(const NetlinkSocket&) = delete;
    NetlinkSocket& operator=(const NetlinkSocket&) = delete;

    bool IsOpen() const { return fd_ >= 0; }

    // Requests a dump of `type` (RTM_GETLINK, RTM_GETADDR) for `family` and
    // hands each reply message to onMessage. Interrupted: the kernel's table
    // changed during the dump, so what was handed over may be inconsistent.
    DumpResult Dump(std::uint16_t type, std::uint8_t family, const MessageHandler& onMessage);

private:
    int fd_ = -1;
    std::uint32_t portId_ = 0;
    std::uint32_t sequence_ = 0;
    std::vector<std::uint8_t> buffer_;
};

// Dumps until a consistent answer arrives (a few tries, onRestart before each
// further one); false when none does. After a failure the kernel may still be
// mid-dump on this socket and refuse the next request: make a new socket.
bool ConsistentDump(NetlinkSocket& socket, std::uint16_t type, std::uint8_t family, const MessageHandler& onMessage,
                    const std::function<void()>& onRestart);

} // namespace rtnl
