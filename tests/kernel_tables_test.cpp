// The tables read from the real kernel, inside namespaces this test makes:
// a veth pair between two namespaces and an ifb link, with known addresses,
// then UDP datagrams across the pair counted to the byte.

#include "ifstats/IPHelper.h"
#include "ifstats/linux/LinkReads.h"
#include "support/NetNs.h"
#include "traffic/TrafficUnit.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <functional>
#include <tuple>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using testns::Enter;
using testns::Namespace;

constexpr const char* MacA = "02:00:00:00:0a:01";
constexpr const char* MacB = "02:00:00:00:0b:01";
constexpr const char* MacIfb = "02:00:00:00:0c:01";
constexpr std::uint16_t Port = 47001;
constexpr std::uint16_t PortA = 47002;
constexpr std::uint32_t OperDown = 2; // IF_OPER_DOWN; <linux/if.h> clashes with <net/if.h>

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

const MIB_IFROW* FindRow(const TMIBIfArray& rows, const char* name)
{
    for (const auto& row : rows)
        if (std::string(row.szName) == name)
            return &row;
    return nullptr;
}

std::string Description(const MIB_IFROW& row)
{
    return {reinterpret_cast<const char*>(row.bDescr), row.dwDescrLen > 0 ? row.dwDescrLen - 1 : 0};
}

auto AllButCounters(const MIB_IFROW& row)
{
    return std::tuple(std::string(row.szName), row.dwIndex, row.dwType, row.dwMtu, row.dwSpeed,
                      MacAddrToStr(row.bPhysAddr, static_cast<std::int32_t>(row.dwPhysAddrLen)), row.dwAdminStatus,
                      row.dwOperStatus, Description(row));
}

sockaddr_in Address(const char* dotted, std::uint16_t port)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    inet_pton(AF_INET, dotted, &addr.sin_addr);
    return addr;
}

class KernelTables : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        missing_ = testns::MissingRights();
        if (!missing_.empty())
            return;
        a_ = std::make_unique<Namespace>("wm-test-a");
        b_ = std::make_unique<Namespace>("wm-test-b");
        const std::string peer = b_->Name();
        // No IPv6 (router solicitations, DAD) and a static neighbour (no ARP):
        // nothing but the test's datagrams crosses the pair.
        const bool ok = a_->Ok() && b_->Ok()
            && a_->Exec("sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1")
            && b_->Exec("sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1")
            && a_->Ip(std::string("link add vA address ") + MacA + " type veth peer name vB address " + MacB
                      + " netns " + peer)
            && a_->Ip(std::string("link add ifbA address ") + MacIfb + " type ifb")
            && a_->Ip("link set dev vA alias uplink")
            && a_->Ip("addr add 10.77.0.9/24 dev vA") && a_->Ip("addr add 10.77.0.1/24 dev vA")
            && b_->Ip("addr add 10.77.0.2/24 dev vB")
            && a_->Ip("link set vA up") && a_->Ip("link set ifbA up") && b_->Ip("link set vB up")
            && a_->Ip(std::string("neigh replace 10.77.0.2 lladdr ") + MacB + " dev vA nud permanent")
            && b_->Ip(std::string("neigh replace 10.77.0.1 lladdr ") + MacA + " dev vB nud permanent");
        if (!ok)
            missing_ = "could not set up the test namespaces with iproute2";
    }

    static void TearDownTestSuite()
    {
        a_.reset();
        b_.reset();
    }

    void SetUp() override
    {
        if (!missing_.empty())
            GTEST_SKIP() << "Kernel tables not tested: " << missing_;
    }

    static TMIBIfArray ReadIn(const Namespace& ns)
    {
        Enter inside(ns);
        EXPECT_TRUE(inside.Ok());
        TMIBIfArray rows;
        GetIfTableRows(rows);
        return rows;
    }

    // The counters of one interface, once two reads in a row agree (links just
    // brought up may still be settling).
    static MIB_IFROW SteadyRow(const Namespace& ns, const char* name)
    {
        MIB_IFROW last{};
        for (int i = 0; i < 50; ++i) {
            const auto rows = ReadIn(ns);
            const MIB_IFROW* row = FindRow(rows, name);
            if (row == nullptr) {
                ADD_FAILURE() << name << " not in the table";
                return last;
            }
            if (i > 0 && row->dwInOctets == last.dwInOctets && row->dwOutOctets == last.dwOutOctets)
                return *row;
            last = *row;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return last;
    }

    struct CountedRead {
        TMIBIfArray rows;
        std::uint64_t full = 0;     // reads that dumped every link
        std::uint64_t counters = 0; // reads that took the byte counters alone
    };

    static CountedRead ReadCounted(const Namespace& ns)
    {
        const auto before = rtnl::CountLinkReads();
        CountedRead read;
        read.rows = ReadIn(ns);
        const auto after = rtnl::CountLinkReads();
        read.full = after.full - before.full;
        read.counters = after.counters - before.counters;
        return read;
    }

    // Reads until one takes the counters alone: the links have settled (a
    // link just brought up still hears from the kernel's link watch for a while).
    static bool Settle(const Namespace& ns)
    {
        for (int i = 0; i < 50; ++i) {
            if (ReadCounted(ns).counters == 1)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    static inline std::string missing_;
    static inline std::unique_ptr<Namespace> a_, b_;
};

TEST_F(KernelTables, InterfaceRowsCarryIndexMacDescriptionAndSpeed)
{
    Enter inside(*a_);
    ASSERT_TRUE(inside.Ok());
    TMIBIfArray rows;
    GetIfTableRows(rows);

    const MIB_IFROW* veth = FindRow(rows, "vA");
    const MIB_IFROW* ifb = FindRow(rows, "ifbA");
    const MIB_IFROW* lo = FindRow(rows, "lo");
    ASSERT_TRUE(veth && ifb && lo);

    EXPECT_EQ(veth->dwIndex, if_nametoindex("vA"));
    EXPECT_EQ(ifb->dwIndex, if_nametoindex("ifbA"));
    EXPECT_EQ(lo->dwIndex, 1u);

    EXPECT_EQ(MacAddrToStr(veth->bPhysAddr, static_cast<std::int32_t>(veth->dwPhysAddrLen)), "02-00-00-00-0A-01");
    EXPECT_EQ(MacAddrToStr(ifb->bPhysAddr, static_cast<std::int32_t>(ifb->dwPhysAddrLen)), "02-00-00-00-0C-01");
    EXPECT_EQ(MacAddrToStr(lo->bPhysAddr, static_cast<std::int32_t>(lo->dwPhysAddrLen)), "00-00-00-00-00-00");

    EXPECT_EQ(Description(*veth), "vA (veth) - uplink");
    EXPECT_EQ(Description(*ifb), "ifbA (ifb)");
    EXPECT_EQ(Description(*lo), "lo (loopback)");

    // veth reports 10 Gb/s, past what 32 bits hold; ifb knows no speed.
    EXPECT_EQ(veth->dwSpeed, 10'000'000'000ull);
    EXPECT_EQ(ifb->dwSpeed, 0u);
}

TEST_F(KernelTables, AddressRowsAscendAndRecordsFindTheirAddress)
{
    Enter inside(*a_);
    ASSERT_TRUE(inside.Ok());
    TMibIPAddrArray addresses;
    GetIpAddrTableRows(addresses);
    ASSERT_FALSE(addresses.empty());
    for (std::size_t i = 1; i < addresses.size(); ++i)
        EXPECT_LE(ntohl(addresses[i - 1].dwAddr), ntohl(addresses[i].dwAddr));

    TMIBIfArray rows;
    GetIfTableRows(rows);
    const MIB_IFROW* veth = FindRow(rows, "vA");
    const MIB_IFROW* ifb = FindRow(rows, "ifbA");
    ASSERT_TRUE(veth && ifb);

    std::vector<std::string> vethAddresses;
    for (const auto& row : addresses)
        if (row.dwIndex == veth->dwIndex)
            vethAddresses.push_back(IpAddrToStr(row.dwAddr));
    EXPECT_EQ(vethAddresses, (std::vector<std::string>{" 10. 77.  0.  1", " 10. 77.  0.  9"}));

    // Two addresses: the record takes the lower one, though it was added second.
    EXPECT_EQ(TTraffic(*veth, {}).IpAddress, " 10. 77.  0.  1");
    EXPECT_EQ(TTraffic(*ifb, {}).IpAddress, "Not found!");
}

TEST_F(KernelTables, CountersMoveByExactlyTheBytesOnTheWire)
{
    constexpr int Datagrams = 25;
    constexpr std::size_t Payload = 300;
    constexpr std::uint64_t OnTheWire = Datagrams * (14 + 20 + 8 + Payload);

    // Sockets keep the namespace they were made in.
    FileDescriptor receiver = [&] {
        Enter inside(*b_);
        return FileDescriptor(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    }();
    FileDescriptor sender = [&] {
        Enter inside(*a_);
        return FileDescriptor(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    }();
    ASSERT_GE(receiver.get(), 0);
    ASSERT_GE(sender.get(), 0);
    const sockaddr_in to = Address("10.77.0.2", Port);
    ASSERT_EQ(bind(receiver.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
    const timeval timeout{2, 0};
    setsockopt(receiver.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

    const MIB_IFROW beforeA = SteadyRow(*a_, "vA");
    const MIB_IFROW beforeB = SteadyRow(*b_, "vB");
    TTraffic record(beforeA, {});

    const std::vector<char> payload(Payload, 'x');
    for (int i = 0; i < Datagrams; ++i)
        ASSERT_EQ(sendto(sender.get(), payload.data(), payload.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                         sizeof to),
                  static_cast<ssize_t>(Payload));
    std::vector<char> buffer(Payload + 1);
    for (int i = 0; i < Datagrams; ++i)
        ASSERT_EQ(recv(receiver.get(), buffer.data(), buffer.size(), 0), static_cast<ssize_t>(Payload))
            << "datagram " << i << " did not arrive";

    const MIB_IFROW afterA = SteadyRow(*a_, "vA");
    const MIB_IFROW afterB = SteadyRow(*b_, "vB");
    EXPECT_EQ(afterA.dwOutOctets - beforeA.dwOutOctets, OnTheWire);
    EXPECT_EQ(afterA.dwInOctets - beforeA.dwInOctets, 0u);
    EXPECT_EQ(afterB.dwInOctets - beforeB.dwInOctets, OnTheWire);
    EXPECT_EQ(afterB.dwOutOctets - beforeB.dwOutOctets, 0u);

    record.Update(afterA.dwInOctets, afterA.dwOutOctets, afterA.dwSpeed);
    EXPECT_EQ(record.OutPerSec, OnTheWire);
    EXPECT_EQ(record.TotalOut, OnTheWire);
    EXPECT_EQ(record.TotalIn, 0u);
}

TEST_F(KernelTables, FillWithoutSizeCallReadsAfreshAndReportsGrowth)
{
    Enter inside(*a_);
    ASSERT_TRUE(inside.Ok());
    std::uint32_t size = 0;
    ASSERT_EQ(PlatformGetIfTable(nullptr, &size, false), ERROR_INSUFFICIENT_BUFFER);
    std::vector<std::uint64_t> storage(size / sizeof(std::uint64_t) + 1);
    auto* table = reinterpret_cast<MIB_IFTABLE*>(storage.data());
    ASSERT_EQ(PlatformGetIfTable(table, &size, false), NO_ERROR);
    const std::uint32_t before = table->dwNumEntries;

    // No size call in front of this fill: it must see the kernel as it is now.
    ASSERT_TRUE(a_->Ip("link add ifbGrow type ifb"));
    std::uint32_t sameSize = size;
    EXPECT_EQ(PlatformGetIfTable(table, &sameSize, false), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_GT(sameSize, size);

    TMIBIfArray rows;
    GetIfTableRows(rows);
    EXPECT_EQ(rows.size(), before + 1u);
    EXPECT_NE(FindRow(rows, "ifbGrow"), nullptr);
    EXPECT_TRUE(a_->Ip("link del ifbGrow"));
}

TEST_F(KernelTables, EveryLinkChangeShowsInTheVeryNextRead)
{
    // A failed step's leftovers would go with the namespaces, but other tests come first.
    struct Cleanup {
        const Namespace& ns;
        ~Cleanup()
        {
            ns.Ip("link del wmW");
            ns.Ip("link del wmV");
        }
    } cleanup{*a_};

    const std::string peerSpace = b_->Name();
    const auto in = [](const TMIBIfArray& rows, const char* name) { return FindRow(rows, name); };
    std::uint32_t index = 0;
    // One link through its life, wmW in a_ with its peer in b_; each step is
    // one change and the test its row (or its absence) must pass after it.
    const struct {
        const char* what;
        std::function<bool()> change;
        std::function<bool(const TMIBIfArray&)> seen;
    } steps[] = {
        {"added",
         [&] { return a_->Ip("link add wmW address 02:00:00:00:0d:01 type veth peer name wmP netns " + peerSpace); },
         [&](const TMIBIfArray& rows) {
             index = in(rows, "wmW") ? in(rows, "wmW")->dwIndex : 0;
             return index != 0;
         }},
        {"renamed", [&] { return a_->Ip("link set wmW name wmV"); },
         [&](const TMIBIfArray& rows) { return !in(rows, "wmW") && in(rows, "wmV") && in(rows, "wmV")->dwIndex == index; }},
        // The kernel sends no notification for this one: the link is down.
        {"alias set while down", [&] { return a_->Ip("link set wmV alias watched"); },
         [&](const TMIBIfArray& rows) { return in(rows, "wmV") && Description(*in(rows, "wmV")) == "wmV (veth) - watched"; }},
        {"MAC changed while down", [&] { return a_->Ip("link set wmV address 02:00:00:00:0d:02"); },
         [&](const TMIBIfArray& rows) {
             const MIB_IFROW* v = in(rows, "wmV");
             return v && MacAddrToStr(v->bPhysAddr, static_cast<std::int32_t>(v->dwPhysAddrLen)) == "02-00-00-00-0D-02";
         }},
        {"up", [&] { return b_->Ip("link set wmP up") && a_->Ip("link set wmV up"); },
         [&](const TMIBIfArray& rows) { return in(rows, "wmV") && in(rows, "wmV")->dwAdminStatus == 1; }},
        {"alias changed while up", [&] { return a_->Ip("link set wmV alias renamed"); },
         [&](const TMIBIfArray& rows) { return in(rows, "wmV") && Description(*in(rows, "wmV")) == "wmV (veth) - renamed"; }},
        {"MAC changed while up", [&] { return a_->Ip("link set wmV address 02:00:00:00:0d:03"); },
         [&](const TMIBIfArray& rows) {
             const MIB_IFROW* v = in(rows, "wmV");
             return v && MacAddrToStr(v->bPhysAddr, static_cast<std::int32_t>(v->dwPhysAddrLen)) == "02-00-00-00-0D-03";
         }},
        {"down", [&] { return a_->Ip("link set wmV down"); },
         [&](const TMIBIfArray& rows) {
             const MIB_IFROW* v = in(rows, "wmV");
             return v && v->dwAdminStatus == 2 && v->dwOperStatus == OperDown;
         }},
        {"deleted", [&] { return a_->Ip("link del wmV"); },
         [&](const TMIBIfArray& rows) { return !in(rows, "wmV") && in(rows, "vA"); }},
    };

    for (const auto& step : steps) {
        // Settled: a read takes the counters alone, and so does the next.
        ASSERT_TRUE(Settle(*a_)) << "no read took the counters alone before: " << step.what;
        const CountedRead steady = ReadCounted(*a_);
        EXPECT_EQ(steady.full, 0u) << "a steady read dumped every link, before: " << step.what;
        EXPECT_FALSE(step.seen(steady.rows)) << "seen before the change: " << step.what;

        ASSERT_TRUE(step.change()) << step.what;
        const CountedRead next = ReadCounted(*a_);
        EXPECT_EQ(next.full, 1u) << step.what;
        EXPECT_TRUE(step.seen(next.rows)) << step.what;
    }
}

TEST_F(KernelTables, CountersStayExactAcrossReadsOfTheCountersAlone)
{
    // One socket at each end of the pair, each sending to the other; sockets
    // keep the namespace they were made in.
    FileDescriptor atA = [&] {
        Enter inside(*a_);
        return FileDescriptor(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    }();
    FileDescriptor atB = [&] {
        Enter inside(*b_);
        return FileDescriptor(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    }();
    ASSERT_GE(atA.get(), 0);
    ASSERT_GE(atB.get(), 0);
    const sockaddr_in toA = Address("10.77.0.1", PortA);
    const sockaddr_in toB = Address("10.77.0.2", PortA);
    ASSERT_EQ(bind(atA.get(), reinterpret_cast<const sockaddr*>(&toA), sizeof toA), 0);
    ASSERT_EQ(bind(atB.get(), reinterpret_cast<const sockaddr*>(&toB), sizeof toB), 0);
    const timeval timeout{2, 0};
    setsockopt(atA.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(atB.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

    // `count` datagrams of `size` bytes, each received before the next; false if any went astray.
    const auto send = [](int from, int to, const sockaddr_in& address, int count, std::size_t size) {
        const std::vector<char> payload(size, 'y');
        std::vector<char> buffer(size + 1);
        for (int i = 0; i < count; ++i)
            if (sendto(from, payload.data(), size, 0, reinterpret_cast<const sockaddr*>(&address), sizeof address)
                    != static_cast<ssize_t>(size)
                || recv(to, buffer.data(), buffer.size(), 0) != static_cast<ssize_t>(size))
                return false;
        return true;
    };
    const auto onTheWire = [](int count, std::size_t size) { return std::uint64_t(count) * (14 + 20 + 8 + size); };

    ASSERT_TRUE(Settle(*a_));
    rtnl::ForgetLinkRows();
    const CountedRead first = ReadCounted(*a_);
    ASSERT_EQ(first.full, 1u);
    ASSERT_NE(FindRow(first.rows, "vA"), nullptr);
    MIB_IFROW last = *FindRow(first.rows, "vA");

    // Rounds of known traffic both ways, each read from the counters alone but
    // the last: no total may jump where reads switch from one way to the other.
    const struct {
        int out;
        std::size_t outSize;
        int in;
        std::size_t inSize;
        bool full;
    } rounds[] = {
        {3, 100, 0, 0, false}, {0, 0, 5, 1000, false}, {7, 1, 2, 1400, false}, {0, 0, 0, 0, false},
        {4, 333, 6, 77, true},
    };
    for (std::size_t r = 0; r < std::size(rounds); ++r) {
        const auto& round = rounds[r];
        ASSERT_TRUE(send(atA.get(), atB.get(), toB, round.out, round.outSize)) << "round " << r;
        ASSERT_TRUE(send(atB.get(), atA.get(), toA, round.in, round.inSize)) << "round " << r;
        if (round.full)
            rtnl::ForgetLinkRows();
        const CountedRead read = ReadCounted(*a_);
        EXPECT_EQ(read.full, round.full ? 1u : 0u) << "round " << r;
        const MIB_IFROW* vA = FindRow(read.rows, "vA");
        ASSERT_NE(vA, nullptr) << "round " << r;
        EXPECT_EQ(vA->dwOutOctets - last.dwOutOctets, onTheWire(round.out, round.outSize)) << "round " << r;
        EXPECT_EQ(vA->dwInOctets - last.dwInOctets, onTheWire(round.in, round.inSize)) << "round " << r;
        // Only the counters move: the rest of the row stays as the full read made it.
        EXPECT_EQ(AllButCounters(*vA), AllButCounters(last)) << "round " << r;
        last = *vA;
    }
}

} // namespace
