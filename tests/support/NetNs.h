#pragma once
// Network namespaces of a test's own, made with iproute2 and always removed:
// traffic in a test only ever goes between addresses inside them.

#include <string>
#include <vector>

namespace testns {

// Empty when this process may make namespaces and links; otherwise why not.
std::string MissingRights();

// Runs a shell command quietly; true when it exits 0.
bool Run(const std::string& command);

// `ip netns add` on construction, `ip netns del` on destruction.
class Namespace {
public:
    explicit Namespace(const std::string& stem);
    ~Namespace();
    Namespace(const Namespace&) = delete;
    Namespace& operator=(const Namespace&) = delete;

    bool Ok() const { return ok_; }
    const std::string& Name() const { return name_; }
    // Runs `ip -n NAME <arguments>`.
    bool Ip(const std::string& arguments) const;
    // Runs `ip -n NAME -batch -` with one command a line.
    bool IpBatch(const std::vector<std::string>& lines) const;
    // Runs a command inside the namespace (`ip netns exec`).
    bool Exec(const std::string& command) const;
    // Adds ifb0..ifb<count-1>, each with an address of its own in 10.99.0.0/16.
    bool AddIfbLinks(long long count) const;

private:
    std::string name_;
    bool ok_ = false;
};

// Moves the calling thread into a namespace for its lifetime; sockets made
// meanwhile stay in that namespace after it ends.
class Enter {
public:
    explicit Enter(const Namespace& ns);
    ~Enter();
    Enter(const Enter&) = delete;
    Enter& operator=(const Enter&) = delete;

    bool Ok() const { return ok_; }

private:
    int home_ = -1;
    bool ok_ = false;
};

} // namespace testns
