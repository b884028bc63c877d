#include "support/private_network.h"

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace testsupport {

namespace {

QString g_unavailable = QStringLiteral("the private network was not set up");
constexpr const char *kInsideVariable = "KESTOVA_PRIVATE_NETWORK";

bool run(const std::string &command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

} // namespace

void enterPrivateNetwork(int argc, char *argv[])
{
    if (qEnvironmentVariable(kInsideVariable) == QLatin1String("1")) {
        qunsetenv(kInsideVariable);
        const bool ready = run("ip link set lo up") && run("ip link add kv0 type veth peer name kv1")
                           && run(std::string("ip addr add ") + privateNetworkAddress() + "/32 dev kv0")
                           && run("ip link set kv0 up") && run("ip link set kv1 up");
        g_unavailable = ready ? QString() : QStringLiteral("ip could not set up the veth pair in the namespace");
        return;
    }
    if (qEnvironmentVariable(kInsideVariable) == QLatin1String("0"))
        return; // an attempt already failed; run outside
    if (!run("unshare -rn true")) {
        g_unavailable = QStringLiteral("unshare -rn is refused on this machine (no user namespaces)");
        return;
    }
    char self[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        g_unavailable = QStringLiteral("the test program cannot find itself");
        return;
    }
    std::vector<char *> arguments;
    arguments.push_back(const_cast<char *>("unshare"));
    arguments.push_back(const_cast<char *>("-rn"));
    arguments.push_back(self);
    for (int i = 1; i < argc; ++i)
        arguments.push_back(argv[i]);
    arguments.push_back(nullptr);
    qputenv(kInsideVariable, "1");
    execvp("unshare", arguments.data());
    qputenv(kInsideVariable, "0");
    g_unavailable = QStringLiteral("unshare could not be started");
}

QString privateNetworkUnavailable()
{
    return g_unavailable;
}

bool privateNetworkRequired()
{
    return qEnvironmentVariable("CI") == QLatin1String("true");
}

} // namespace testsupport
