// The real program, started inside a namespace of the test's own with a probe
// preloaded that reports what its windows show (tests/probe): UDP datagrams across
// a veth pair must show as the exact bytes on the wire, and closing the main window
// must end the program with status 0.

#include "ifstats/IPHelper.h"
#include "support/NetNs.h"
#include "traffic/TrafficUnit.h"
#include "ui/LocaleTexts.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <netinet/in.h>
#include <optional>
#include <sstream>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using testns::Enter;
using testns::Namespace;

constexpr const char* MacA = "02:00:00:00:1a:01";
constexpr const char* MacB = "02:00:00:00:1b:01";
constexpr const char* AddressA = "10.77.1.1";
constexpr const char* AddressB = "10.77.1.2";
constexpr std::uint16_t Port = 47002;
constexpr std::uint64_t Headers = 14 + 20 + 8; // Ethernet, IPv4, UDP

using Report = std::map<std::string, std::string>;

Report ReadReport(const std::string& path)
{
    Report report;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        if (const auto equals = line.find('='); equals != std::string::npos)
            report[line.substr(0, equals)] = line.substr(equals + 1);
    return report;
}

std::string Text(const Report& report)
{
    std::string text;
    for (const auto& [key, value] : report)
        text += "\n  " + key + "=" + value;
    return text.empty() ? "\n  (no report)" : text;
}

std::string Value(const Report& report, const std::string& key)
{
    const auto found = report.find(key);
    return found == report.end() ? std::string() : found->second;
}

std::string FileText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Polls until the report satisfies `done` or `limit` passes; returns the last report.
Report WaitForReport(const std::string& path, const std::function<bool(const Report&)>& done,
                     std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    Report report = ReadReport(path);
    while (!done(report) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(50ms);
        report = ReadReport(path);
    }
    return report;
}

class TempDir {
public:
    TempDir()
    {
        char name[] = "/tmp/webmonitor-e2e-XXXXXX";
        if (mkdtemp(name) != nullptr)
            path_ = name;
    }
    ~TempDir()
    {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

class Socket {
public:
    // Made inside `ns` and bound there to address:Port, so replies never meet a closed port.
    Socket(const Namespace& ns, const char* address)
    {
        {
            Enter inside(ns);
            if (inside.Ok())
                fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        }
        const sockaddr_in self = Address(address);
        if (fd_ >= 0 && bind(fd_, reinterpret_cast<const sockaddr*>(&self), sizeof self) != 0) {
            close(fd_);
            fd_ = -1;
        }
        const timeval timeout{2, 0};
        if (fd_ >= 0)
            setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ~Socket()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    bool Ok() const { return fd_ >= 0; }

    // Sends `count` datagrams of `payload` bytes to `to`, which receives them all.
    static ::testing::AssertionResult Send(const Socket& from, const Socket& to, const char* toAddress, int count,
                                           std::size_t payload)
    {
        const sockaddr_in target = Address(toAddress);
        const std::vector<char> data(payload, 'x');
        for (int i = 0; i < count; ++i)
            if (sendto(from.fd_, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&target),
                       sizeof target) != static_cast<ssize_t>(payload))
                return ::testing::AssertionFailure() << "sendto failed for datagram " << i;
        std::vector<char> buffer(payload + 1);
        for (int i = 0; i < count; ++i)
            if (recv(to.fd_, buffer.data(), buffer.size(), 0) != static_cast<ssize_t>(payload))
                return ::testing::AssertionFailure() << "datagram " << i << " did not arrive";
        return ::testing::AssertionSuccess();
    }

private:
    static sockaddr_in Address(const char* dotted)
    {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(Port);
        inet_pton(AF_INET, dotted, &addr.sin_addr);
        return addr;
    }

    int fd_ = -1;
};

// The program under test; killed if it is still running when the test ends.
class Program {
public:
    Program() = default;
    ~Program()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Start(const std::vector<std::string>& arguments, const std::string& log)
    {
        std::vector<char*> argv;
        for (const auto& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            // Dies with the test, even when the test itself is killed.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd >= 0) {
                dup2(fd, STDOUT_FILENO);
                dup2(fd, STDERR_FILENO);
            }
            execvp(argv[0], argv.data());
            _exit(127);
        }
        return pid_ > 0;
    }

    // The wait status once the program has ended by itself, or nothing after `limit`.
    std::optional<int> WaitExit(std::chrono::milliseconds limit)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        do {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return status;
            }
            std::this_thread::sleep_for(50ms);
        } while (std::chrono::steady_clock::now() < end);
        return std::nullopt;
    }

private:
    pid_t pid_ = -1;
};

struct Octets {
    std::uint64_t in = 0, out = 0;
    bool operator==(const Octets&) const = default;
};

// The kernel's counters of one link, once two reads in a row agree.
std::optional<Octets> SteadyOctets(const Namespace& ns, const std::string& name)
{
    std::optional<Octets> last;
    for (int i = 0; i < 50; ++i) {
        TMIBIfArray rows;
        {
            Enter inside(ns);
            if (!inside.Ok())
                return std::nullopt;
            GetIfTableRows(rows);
        }
        std::optional<Octets> now;
        for (const auto& row : rows)
            if (row.szName == name)
                now = Octets{row.dwInOctets, row.dwOutOctets};
        if (!now)
            return std::nullopt;
        if (last && *last == *now)
            return now;
        last = now;
        std::this_thread::sleep_for(100ms);
    }
    return last;
}

// Waits for both totals of the main window and of the compact one to show `in` and
// `out` bytes as the C locale writes them.
::testing::AssertionResult ShowsTotals(const std::string& path, std::uint64_t in, std::uint64_t out)
{
    const TFormatSettings c = FormatSettingsFrom(QLocale::c());
    const std::string inText = BytesToStr(in, c);
    const std::string outText = BytesToStr(out, c);
    const auto shown = [&](const Report& r) {
        return Value(r, "MainForm.ledTotalIN") == inText && Value(r, "MainForm.ledTotalOUT") == outText
            && Value(r, "form_monitoring.ledTotalIN") == inText && Value(r, "form_monitoring.ledTotalOUT") == outText;
    };
    const Report report = WaitForReport(path, shown, 10s);
    if (shown(report))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected IN " << inText << ", OUT " << outText
                                         << "; last report:" << Text(report);
}

TEST(App, WindowsShowTheExactBytesOnTheWireAndClosingTheMainWindowEndsTheProgram)
{
    if (const std::string missing = testns::MissingRights(); !missing.empty())
        GTEST_SKIP() << "End-to-end test not run: " << missing;

    const Namespace a("wm-e2e-a");
    const Namespace b("wm-e2e-b");
    // No IPv6 (router solicitations, DAD) and static neighbours (no ARP): only the
    // test's datagrams cross the pair.
    const char* noIpv6 = "sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1";
    ASSERT_TRUE(a.Ok() && b.Ok() && a.Exec(noIpv6) && b.Exec(noIpv6)
                && a.Ip(std::string("link add vA address ") + MacA + " type veth peer name vB address " + MacB
                        + " netns " + b.Name())
                && a.Ip(std::string("addr add ") + AddressA + "/24 dev vA")
                && b.Ip(std::string("addr add ") + AddressB + "/24 dev vB") && a.Ip("link set lo up")
                && a.Ip("link set vA up") && b.Ip("link set vB up")
                && a.Ip(std::string("neigh replace ") + AddressB + " lladdr " + MacB + " dev vA nud permanent")
                && b.Ip(std::string("neigh replace ") + AddressA + " lladdr " + MacA + " dev vB nud permanent"))
        << "could not set up the test namespaces with iproute2";

    const Socket inA(a, AddressA);
    const Socket inB(b, AddressB);
    ASSERT_TRUE(inA.Ok() && inB.Ok());

    const TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    const std::string out = dir.Path() + "/report";
    const std::string quit = dir.Path() + "/quit";
    const std::string log = dir.Path() + "/log";
    const char* asan = std::getenv("ASAN_OPTIONS");
    // A preloaded library comes before the sanitizer runtime in a sanitized build.
    const std::string asanOptions =
        std::string(asan && *asan ? std::string(asan) + ":" : "") + "verify_asan_link_order=0";

    // The program's first poll takes the counters as they are, so they must be settled.
    const std::optional<Octets> before = SteadyOctets(a, "vA");
    ASSERT_TRUE(before) << "vA not in the kernel's table";

    Program app;
    ASSERT_TRUE(app.Start({"ip", "netns", "exec", a.Name(), "env", "QT_QPA_PLATFORM=offscreen", "LC_ALL=C",
                           "XDG_RUNTIME_DIR=" + dir.Path(), "ASAN_OPTIONS=" + asanOptions,
                           "LD_PRELOAD=" WEBMONITOR_PROBE, "WEBMONITOR_PROBE_OUT=" + out,
                           "WEBMONITOR_PROBE_QUIT=" + quit, WEBMONITOR_EXE},
                          log));

    Report report = WaitForReport(
        out, [](const Report& r) { return Value(r, "MainForm.ledAdapterDescription").starts_with("vA"); }, 20s);
    ASSERT_TRUE(Value(report, "MainForm.ledAdapterDescription").starts_with("vA"))
        << "the main window never showed vA; last report:" << Text(report) << "\nprogram output:\n"
        << FileText(log);
    EXPECT_EQ(Value(report, "MainForm.visible"), "1");
    // The compact window is there from the start, hidden, and copies the totals all the same.
    EXPECT_EQ(Value(report, "form_monitoring.visible"), "0");

    // Amounts under 1 KiB show to the byte; out and in differ so a swap shows too.
    constexpr std::uint64_t Out = 2 * (Headers + 158); // 400
    constexpr std::uint64_t In = 1 * (Headers + 108);  // 150
    ASSERT_TRUE(Socket::Send(inA, inB, AddressB, 2, 158));
    ASSERT_TRUE(Socket::Send(inB, inA, AddressA, 1, 108));
    ASSERT_TRUE(ShowsTotals(out, In, Out));

    // Again, after a poll has shown the first round: totals add up across polls.
    ASSERT_TRUE(Socket::Send(inA, inB, AddressB, 2, 158));
    ASSERT_TRUE(Socket::Send(inB, inA, AddressA, 1, 108));
    EXPECT_TRUE(ShowsTotals(out, 2 * In, 2 * Out));

    const std::optional<Octets> after = SteadyOctets(a, "vA");
    ASSERT_TRUE(after);
    EXPECT_EQ(after->out - before->out, 2 * Out) << "traffic other than the test's crossed the pair";
    EXPECT_EQ(after->in - before->in, 2 * In) << "traffic other than the test's crossed the pair";

    std::ofstream(quit).put('\n');
    const std::optional<int> status = app.WaitExit(10s);
    ASSERT_TRUE(status) << "the program did not end after its main window was closed; program output:\n"
                        << FileText(log);
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
        << "wait status " << *status << "; program output:\n"
        << FileText(log);
}

} // namespace
