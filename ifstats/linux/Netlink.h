#pragma once
// An rtnetlink socket that runs one dump at a time, and a watch on link
// changes. Both answer for the network namespace they were made in.

#include "RtnlParse.h"

#include <cstdint>
#include <vector>

namespace rtnl {

// Refused: the kernel answered the request with an error (LastRefusal()).
// A request body as the bytes it is sent as.
template <class T>
Bytes AsBytes(const T& body)
{
    return {reinterpret_cast<const std::uint8_t*>(&body), sizeof body};
}

enum class DumpResult { Ok, Failed, Interrupted, Refused };

class NetlinkSocket {
public:
    NetlinkSocket();
    ~NetlinkSocket();
    NetlinkSocket(const NetlinkSocket&) = delete;
    NetlinkSocket& operator=(const NetlinkSocket&) = delete;

    bool IsOpen() const { return fd_ >= 0; }

    // Requests a dump of `type` whose request carries `body` (the family's
    // header: rtgenmsg, if_stats_msg ...) and hands each reply message to
    // onMessage. Interrupted: the kernel's table changed during the dump, so
    // what was handed over may be inconsistent.
    DumpResult Dump(std::uint16_t type, Bytes body, const MessageHandler& onMessage);
    // The same with an rtgenmsg body of `family` (RTM_GETLINK, RTM_GETADDR).
    DumpResult Dump(std::uint16_t type, std::uint8_t family, const MessageHandler& onMessage);

    // Sends a request that is not a dump (RTM_GETLINK of one link) and hands
    // its one answer to onMessage.
    DumpResult Request(std::uint16_t type, Bytes body, const MessageHandler& onMessage);

    // The kernel's error (negative errno) of the last Refused request.
    std::int32_t LastRefusal() const { return refusal_; }

private:
    DumpResult Exchange(std::uint16_t type, std::uint16_t flags, Bytes body, const MessageHandler& onMessage);

    int fd_ = -1;
    std::uint32_t portId_ = 0;
    std::uint32_t sequence_ = 0;
    std::int32_t refusal_ = 0;
    std::vector<std::uint8_t> buffer_;
};

// Dumps until a consistent answer arrives (a few tries, onRestart before each
// further one) and gives the last try's result. After Failed the kernel may
// still be mid-dump on this socket and refuse the next request: make a new socket.
DumpResult DumpConsistently(NetlinkSocket& socket, std::uint16_t type, Bytes body, const MessageHandler& onMessage,
                            const std::function<void()>& onRestart);
// The same with an rtgenmsg body of `family`; true when a consistent answer came.
bool ConsistentDump(NetlinkSocket& socket, std::uint16_t type, std::uint8_t family, const MessageHandler& onMessage,
                    const std::function<void()>& onRestart);

// A non-blocking socket subscribed to RTNLGRP_LINK: every link added, removed,
// renamed, or changed in address, MTU or flags queues a message on it; a
// change of alias, carrier or operational state does so only while the link is up.
class LinkWatch {
public:
    LinkWatch();
    ~LinkWatch();
    LinkWatch(const LinkWatch&) = delete;
    LinkWatch& operator=(const LinkWatch&) = delete;

    bool IsOpen() const { return fd_ >= 0; }

    // Empties the queue; true when anything was in it, when it overran, or
    // when the socket is closed or failed (then it stays closed): links may
    // have changed since the last drain.
    bool Drain();

private:
    int fd_ = -1;
};

} // namespace rtnl
