#include "Netlink.h"

#include <cerrno>
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
    if (fd_ < 0)
        return DumpResult::Failed;

    // rtgenmsg is all a dump request needs; the kernel reads the family from its first byte.
    struct {
        nlmsghdr header;
        rtgenmsg body;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof request.body);
    request.header.nlmsg_type = type;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = ++sequence_;
    request.body.rtgen_family = family;

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    const ssize_t sent = RetryInterrupted([&] {
        return sendto(fd_, &request, request.header.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel);
    });
    if (sent != static_cast<ssize_t>(request.header.nlmsg_len))
        return DumpResult::Failed;

    bool interrupted = false;
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
                                           request.header.nlmsg_seq, onMessage, interrupted);
        if (step == DumpStep::Failed)
            return DumpResult::Failed;
        if (step == DumpStep::Done)
            return interrupted ? DumpResult::Interrupted : DumpResult::Ok;
    }
}

bool ConsistentDump(NetlinkSocket& socket, std::uint16_t type, std::uint8_t family, const MessageHandler& onMessage,
                    const std::function<void()>& onRestart)
{
    for (int attempt = 0; attempt < DumpAttempts; ++attempt) {
        if (attempt > 0)
            onRestart();
        switch (socket.Dump(type, family, onMessage)) {
        case DumpResult::Ok:
            return true;
        case DumpResult::Failed:
            return false;
        case DumpResult::Interrupted:
            break; // the table changed under the dump: read it again
        }
    }
    return false;
}

} // namespace rtnl
