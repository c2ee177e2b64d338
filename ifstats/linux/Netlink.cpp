#include "Netlink.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace rtnl {
namespace {

// The kernel fills at most 32 KiB per datagram of a dump; twice that leaves room.
constexpr std::size_t ReceiveBufferSize = 64 * 1024;
// A kernel that stops answering must not hang the caller's event loop.
constexpr timeval ReceiveTimeout{2, 0};
constexpr int DumpAttempts = 3;
constexpr std::size_t MaxRequestBody = 64;

template <class F>
auto RetryInterrupted(F&& call)
{
    decltype(call()) result;
    do
        result = call();
    while (result < 0 && errno == EINTR);
    return result;
}

} // namespace

NetlinkSocket::NetlinkSocket()
{
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    socklen_t length = sizeof local;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &ReceiveTimeout, sizeof ReceiveTimeout) != 0
        || bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0
        || getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0 || length != sizeof local) {
        close(fd);
        return;
    }
    fd_ = fd;
    portId_ = local.nl_pid;
    sequence_ = static_cast<std::uint32_t>(time(nullptr));
    buffer_.resize(ReceiveBufferSize);
}

NetlinkSocket::~NetlinkSocket()
{
    if (fd_ >= 0)
        close(fd_);
}

DumpResult NetlinkSocket::Dump(std::uint16_t type, std::uint8_t family, const MessageHandler& onMessage)
{
    // rtgenmsg is all these dumps need; the kernel reads the family from its first byte.
    const rtgenmsg body{family};
    return Dump(type, AsBytes(body), onMessage);
}

DumpResult NetlinkSocket::Dump(std::uint16_t type, Bytes body, const MessageHandler& onMessage)
{
    return Exchange(type, NLM_F_DUMP, body, onMessage);
}

DumpResult NetlinkSocket::Request(std::uint16_t type, Bytes body, const MessageHandler& onMessage)
{
    return Exchange(type, 0, body, onMessage);
}

DumpResult NetlinkSocket::Exchange(std::uint16_t type, std::uint16_t flags, Bytes body,
                                   const MessageHandler& onMessage)
{
    if (fd_ < 0 || body.size() > MaxRequestBody)
        return DumpResult::Failed;

    std::array<std::uint8_t, NLMSG_SPACE(MaxRequestBody)> request{};
    nlmsghdr header{};
    header.nlmsg_len = NLMSG_LENGTH(body.size());
    header.nlmsg_type = type;
    header.nlmsg_flags = static_cast<std::uint16_t>(NLM_F_REQUEST | flags);
    header.nlmsg_seq = ++sequence_;
    std::memcpy(request.data(), &header, sizeof header);
    if (!body.empty())
        std::memcpy(request.data() + NLMSG_HDRLEN, body.data(), body.size());

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    const ssize_t sent = RetryInterrupted([&] {
        return sendto(fd_, request.data(), header.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel);
    });
    if (sent != static_cast<ssize_t>(header.nlmsg_len))
        return DumpResult::Failed;

    // A dump ends with NLMSG_DONE; any other request with its one answer.
    const bool dump = (flags & NLM_F_DUMP) != 0;
    bool answered = false;
    const MessageHandler onAnswer = [&](std::uint16_t replyType, Bytes reply) {
        answered = true;
        return onMessage(replyType, reply);
    };
    bool interrupted = false;
    refusal_ = 0;
    for (;;) {
        iovec io{buffer_.data(), buffer_.size()};
        sockaddr_nl from{};
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        const ssize_t received = RetryInterrupted([&] { return recvmsg(fd_, &message, 0); });
        if (received <= 0 || (message.msg_flags & MSG_TRUNC) || from.nl_pid != 0)
            return DumpResult::Failed;
        const auto step = ScanDumpDatagram(Bytes(buffer_.data(), static_cast<std::size_t>(received)), portId_,
                                           header.nlmsg_seq, dump ? onMessage : onAnswer, interrupted, &refusal_);
        if (step == DumpStep::Failed)
            return refusal_ != 0 ? DumpResult::Refused : DumpResult::Failed;
        if (step == DumpStep::Done || (!dump && answered))
            return interrupted ? DumpResult::Interrupted : DumpResult::Ok;
    }
}

DumpResult DumpConsistently(NetlinkSocket& socket, std::uint16_t type, Bytes body, const MessageHandler& onMessage,
                            const std::function<void()>& onRestart)
{
    DumpResult result = DumpResult::Failed;
    for (int attempt = 0; attempt < DumpAttempts; ++attempt) {
        if (attempt > 0)
            onRestart();
        result = socket.Dump(type, body, onMessage);
        if (result != DumpResult::Interrupted)
            break; // on Interrupted the table changed under the dump: read it again
    }
    return result;
}

bool ConsistentDump(NetlinkSocket& socket, std::uint16_t type, std::uint8_t family, const MessageHandler& onMessage,
                    const std::function<void()>& onRestart)
{
    const rtgenmsg body{family};
    return DumpConsistently(socket, type, AsBytes(body), onMessage, onRestart) == DumpResult::Ok;
}

LinkWatch::LinkWatch()
{
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (fd < 0)
        return;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    const int group = RTNLGRP_LINK;
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0
        || setsockopt(fd, SOL_NETLINK, NETLINK_ADD_MEMBERSHIP, &group, sizeof group) != 0) {
        close(fd);
        return;
    }
    fd_ = fd;
}

LinkWatch::~LinkWatch()
{
    if (fd_ >= 0)
        close(fd_);
}

bool LinkWatch::Drain()
{
    if (fd_ < 0)
        return true;
    bool changed = false;
    for (;;) {
        // That a message came is all that counts: MSG_TRUNC drops its bytes unread.
        std::uint8_t byte = 0;
        const ssize_t received = recv(fd_, &byte, sizeof byte, MSG_DONTWAIT | MSG_TRUNC);
        if (received > 0) {
            changed = true;
            continue;
        }
        if (received < 0 && errno == EINTR)
            continue;
        if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return changed;
        if (received < 0 && errno == ENOBUFS) {
            changed = true; // the queue overran and messages were lost; reading goes on
            continue;
        }
        close(fd_);
        fd_ = -1;
        return true;
    }
}

} // namespace rtnl
