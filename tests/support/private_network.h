#pragma once

#include "support/test_main.h"

#include <QString>

namespace testsupport {

// Media tests need a network address that is not loopback (the media server never gathers candidates
// on loopback) and must send nothing beyond this machine. So the test program runs itself again in a
// private network namespace of its own (`unshare -rn`, no root needed) with a veth pair whose one
// address, 198.18.0.1, exists only inside it. Call first thing in main: it either replaces the
// process (outside) or sets the namespace up (inside). When a namespace cannot be made, the process
// goes on outside and `privateNetworkUnavailable` says why: the test case skips, or fails under CI
// (KESTOVA_REQUIRE_PRIVATE_NETWORK).
void enterPrivateNetwork(int argc, char *argv[]);
// Empty inside a working namespace.
QString privateNetworkUnavailable();
// True where a media test that cannot run must fail rather than skip: in CI (CI=true), a suite
// whose media tests all skipped would report passed while nothing ran.
bool privateNetworkRequired();
// The namespace's own non-loopback address.
inline const char *privateNetworkAddress()
{
    return "198.18.0.1";
}

} // namespace testsupport

// Ends the running test function when there is no private network: skipped with the reason, or
// failed with it where the network is required.
#define KESTOVA_REQUIRE_PRIVATE_NETWORK()                                                                              \
    do {                                                                                                               \
        const QString unavailableReason = testsupport::privateNetworkUnavailable();                                    \
        if (!unavailableReason.isEmpty()) {                                                                            \
            if (testsupport::privateNetworkRequired())                                                                 \
                QFAIL(qPrintable(QStringLiteral("no private network (required with CI=true): ") + unavailableReason)); \
            QSKIP(qPrintable(unavailableReason));                                                                      \
        }                                                                                                              \
    } while (false)

// KESTOVA_TEST_MAIN inside a private network namespace.
#define KESTOVA_MEDIA_TEST_MAIN(TestObject)                                                                            \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        testsupport::enterPrivateNetwork(argc, argv);                                                                  \
        testsupport::prepareTestEnvironment();                                                                         \
        QApplication app(argc, argv);                                                                                  \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
