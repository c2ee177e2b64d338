// The tables read from the real kernel, inside namespaces this test makes:
// a veth pair between two namespaces and an ifb link, with known addresses,
// then UDP datagrams across the pair counted to the byte.

#include "ifstats/IPHelper.h"
#include "support/NetNs.h"
#include "traffic/TrafficUnit.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
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

} // namespace
