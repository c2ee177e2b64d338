// The table readers against scripted platform calls, and the two address texts.

#include "ifstats/IPHelper.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <optional>
#include <random>

namespace {

// A platform call that serves `table` through the real two-call contract,
// unless the script forces an answer or tampers with the filled buffer.
template <class Table>
struct FakeTable {
    using Row = TableRow<Table>;
    static inline std::vector<Row> table;
    static inline std::optional<std::vector<Row>> tableAfterSizeCall; // grows between the calls
    static inline std::optional<std::uint32_t> firstAnswer, secondAnswer;
    static inline std::optional<std::uint32_t> countWritten; // replaces the filled entry count
    static inline std::optional<std::uint32_t> sizeReported;
    static inline std::vector<bool> orders;

    static void Reset()
    {
        table.clear();
        tableAfterSizeCall.reset();
        firstAnswer.reset();
        secondAnswer.reset();
        countWritten.reset();
        sizeReported.reset();
        orders.clear();
    }

    static std::uint32_t Call(Table* buffer, std::uint32_t* size, bool order)
    {
        orders.push_back(order);
        const bool first = orders.size() == 1;
        if (first && firstAnswer)
            return *firstAnswer;
        if (!first && secondAnswer)
            return *secondAnswer;
        if (!first && tableAfterSizeCall)
            table = *tableAfterSizeCall;
        const std::uint32_t result = WriteTable(buffer, size, table);
        if (first && sizeReported)
            *size = *sizeReported;
        if (result == NO_ERROR && countWritten)
            std::memcpy(buffer, &*countWritten, sizeof *countWritten);
        return result;
    }
};

using FakeIf = FakeTable<MIB_IFTABLE>;
using FakeAddr = FakeTable<MIB_IPADDRTABLE>;

// Rows filled with noise to the last byte, so a copy that is not whole shows.
template <class Row>
std::vector<Row> NoisyRows(std::size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<Row> rows(count);
    for (auto& row : rows) {
        auto* bytes = reinterpret_cast<std::uint8_t*>(&row);
        for (std::size_t i = 0; i < sizeof row; ++i)
            bytes[i] = static_cast<std::uint8_t>(random());
    }
    return rows;
}

template <class Row>
bool SameBytes(const std::vector<Row>& a, const std::vector<Row>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Row)) == 0;
}

class ReaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FakeIf::Reset();
        FakeAddr::Reset();
        GetIfTable = &FakeIf::Call;
        GetIpAddrTable = &FakeAddr::Call;
    }
    void TearDown() override
    {
        GetIfTable = &PlatformGetIfTable;
        GetIpAddrTable = &PlatformGetIpAddrTable;
    }
};

TEST_F(ReaderTest, CopiesInterfaceRowsWholeInTheTablesOrder)
{
    FakeIf::table = NoisyRows<MIB_IFROW>(3, 1);
    FakeIf::table[0].dwIndex = 7;
    FakeIf::table[1].dwIndex = 2;
    FakeIf::table[2].dwIndex = 5;
    TMIBIfArray rows;
    GetIfTableRows(rows);
    EXPECT_TRUE(SameBytes(rows, FakeIf::table));
    EXPECT_EQ(FakeIf::orders, (std::vector<bool>{false, false}));
}

TEST_F(ReaderTest, CopiesAddressRowsWholeAndAsksForAscendingOrder)
{
    FakeAddr::table = NoisyRows<MIB_IPADDRROW>(4, 2);
    TMibIPAddrArray rows;
    GetIpAddrTableRows(rows);
    EXPECT_TRUE(SameBytes(rows, FakeAddr::table));
    EXPECT_EQ(FakeAddr::orders, (std::vector<bool>{true, true}));
}

TEST_F(ReaderTest, ReadsALargeTable)
{
    FakeIf::table = NoisyRows<MIB_IFROW>(1000, 3);
    TMIBIfArray rows;
    GetIfTableRows(rows);
    EXPECT_TRUE(SameBytes(rows, FakeIf::table));
}

struct FailureCase {
    const char* name;
    std::optional<std::uint32_t> firstAnswer, secondAnswer, countWritten, sizeReported;
    bool grows;
    std::size_t expectedCalls;
};

class ReaderFailureTest : public ReaderTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ReaderFailureTest, LeavesBothArraysEmpty)
{
    const FailureCase& c = GetParam();
    // Both readers take the same script.
    FakeIf::table = NoisyRows<MIB_IFROW>(2, 4);
    FakeAddr::table = NoisyRows<MIB_IPADDRROW>(2, 5);
    FakeIf::firstAnswer = FakeAddr::firstAnswer = c.firstAnswer;
    FakeIf::secondAnswer = FakeAddr::secondAnswer = c.secondAnswer;
    FakeIf::countWritten = FakeAddr::countWritten = c.countWritten;
    FakeIf::sizeReported = FakeAddr::sizeReported = c.sizeReported;
    if (c.grows) {
        FakeIf::tableAfterSizeCall = NoisyRows<MIB_IFROW>(3, 6);
        FakeAddr::tableAfterSizeCall = NoisyRows<MIB_IPADDRROW>(3, 7);
    }

    TMIBIfArray ifRows;
    GetIfTableRows(ifRows);
    TMibIPAddrArray addrRows;
    GetIpAddrTableRows(addrRows);

    EXPECT_TRUE(ifRows.empty());
    EXPECT_TRUE(addrRows.empty());
    EXPECT_EQ(FakeIf::orders.size(), c.expectedCalls) << "no retry, and no fill after a bad size call";
    EXPECT_EQ(FakeAddr::orders.size(), c.expectedCalls);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ReaderFailureTest,
    ::testing::Values(
        FailureCase{"FirstCallSucceeds", NO_ERROR, {}, {}, {}, false, 1},
        FailureCase{"FirstCallFails", ERROR_GEN_FAILURE, {}, {}, {}, false, 1},
        FailureCase{"FirstCallNotSupported", ERROR_NOT_SUPPORTED, {}, {}, {}, false, 1},
        FailureCase{"SecondCallFails", {}, ERROR_GEN_FAILURE, {}, {}, false, 2},
        FailureCase{"SecondCallAsksForMore", {}, ERROR_INSUFFICIENT_BUFFER, {}, {}, false, 2},
        FailureCase{"TableGrowsBetweenCalls", {}, {}, {}, {}, true, 2},
        FailureCase{"CountZero", {}, {}, 0u, {}, false, 2},
        FailureCase{"CountPastTheBuffer", {}, {}, 3u, {}, false, 2},
        FailureCase{"CountHuge", {}, {}, 0xFFFFFFFFu, {}, false, 2},
        FailureCase{"SizeTooSmallForACount", {}, {}, {}, 2u, false, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReaderTest, ReadAfterGrowthStartsAfresh)
{
    FakeIf::table = NoisyRows<MIB_IFROW>(1, 8);
    FakeIf::tableAfterSizeCall = NoisyRows<MIB_IFROW>(2, 9);
    TMIBIfArray rows;
    GetIfTableRows(rows);
    ASSERT_TRUE(rows.empty());

    FakeIf::tableAfterSizeCall.reset();
    FakeIf::orders.clear();
    GetIfTableRows(rows);
    EXPECT_TRUE(SameBytes(rows, FakeIf::table));
    EXPECT_EQ(FakeIf::orders.size(), 2u);
}

TEST(MacAddrToStr, RendersUpperCasePairs)
{
    const struct {
        TPhysAddr addr;
        std::int32_t length;
        const char* text;
    } cases[] = {
        {{}, 0, "00-00-00-00-00-00"},
        {{0x12, 0x34}, 0, "00-00-00-00-00-00"},
        {{0x0A}, 1, "0A"},
        {{0xAB}, 1, "AB"},
        {{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, 6, "00-1A-2B-3C-4D-5E"},
        {{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}, 8, "01-23-45-67-89-AB-CD-EF"},
        // Out of range: never read past the eight bytes, never index with a negative count.
        {{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}, 20, "01-23-45-67-89-AB-CD-EF"},
        {{0x12}, -1, "00-00-00-00-00-00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MacAddrToStr(c.addr, c.length), c.text) << "length " << c.length;
}

TEST(IpAddrToStr, RendersFifteenCharactersFirstOctetFirst)
{
    const struct {
        const char* dotted;
        const char* text;
    } cases[] = {
        {"192.168.1.20", "192.168.  1. 20"},
        {"10.0.0.1", " 10.  0.  0.  1"},
        {"0.0.0.0", "  0.  0.  0.  0"},
        {"255.255.255.255", "255.255.255.255"},
        {"1.22.133.4", "  1. 22.133.  4"},
    };
    for (const auto& c : cases) {
        in_addr addr{};
        ASSERT_EQ(inet_pton(AF_INET, c.dotted, &addr), 1);
        const std::string text = IpAddrToStr(addr.s_addr);
        EXPECT_EQ(text, c.text) << c.dotted;
        EXPECT_EQ(text.size(), 15u);
    }
}

} // namespace
