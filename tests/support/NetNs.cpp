#include "NetNs.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace testns {

bool Run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string MissingRights()
{
    if (geteuid() != 0)
        return "needs root to make network namespaces";
    if (!Run("command -v ip"))
        return "needs iproute2 (ip)";
    Namespace probe("webmonitor-probe");
    if (!probe.Ok())
        return "cannot make a network namespace here (ip netns add failed)";
    if (!probe.Ip("link add probe0 type ifb"))
        return "cannot make an ifb link in a namespace";
    return {};
}

Namespace::Namespace(const std::string& stem) : name_(stem + "-" + std::to_string(getpid()))
{
    Run("ip netns del " + name_); // left over from a run that was killed
    ok_ = Run("ip netns add " + name_);
}

Namespace::~Namespace()
{
    if (ok_)
        Run("ip netns del " + name_);
}

bool Namespace::Ip(const std::string& arguments) const
{
    return ok_ && Run("ip -n " + name_ + " " + arguments);
}

bool Namespace::AddIfbLinks(long long count) const
{
    std::vector<std::string> batch;
    for (long long i = 0; i < count; ++i) {
        const std::string link = "ifb" + std::to_string(i);
        batch.push_back("link add " + link + " type ifb");
        batch.push_back("addr add 10.99." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1) + "/32 dev " +
                        link);
    }
    return IpBatch(batch);
}

bool Namespace::IpBatch(const std::vector<std::string>& lines) const
{
    if (!ok_)
        return false;
    FILE* pipe = popen(("ip -n " + name_ + " -batch - >/dev/null 2>&1").c_str(), "w");
    if (pipe == nullptr)
        return false;
    for (const auto& line : lines)
        std::fprintf(pipe, "%s\n", line.c_str());
    return pclose(pipe) == 0;
}

bool Namespace::Exec(const std::string& command) const
{
    return ok_ && Run("ip netns exec " + name_ + " " + command);
}

Enter::Enter(const Namespace& ns)
{
    home_ = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const int target = open(("/run/netns/" + ns.Name()).c_str(), O_RDONLY | O_CLOEXEC);
    ok_ = home_ >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0;
    if (target >= 0)
        close(target);
}

Enter::~Enter()
{
    if (home_ < 0)
        return;
    if (ok_ && setns(home_, CLONE_NEWNET) != 0)
        std::abort(); // a thread left in a test namespace would read the wrong tables from here on
    close(home_);
}

} // namespace testns
