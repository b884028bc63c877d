#pragma once

#include "support/test_main.h"

#include <QString>

namespace testsupport {

// Media tests need a network address that is not loopback (the media server never gathers candidates
// on loopback) and must send nothing beyond this machine. So the test program runs itself again in a
// private network namespace of its own (`unshare -rn`, no root needed) with a veth pair whose one
// address, 198.18.0.1, exists only inside it. Call first thing in main: it either replaces the
// process (outside) or sets the namespace up (inside). When a namespace cannot be made, the process
// goes on outside and `privateNetworkUnavailable` says why, for a QSKIP.
void enterPrivateNetwork(int argc, char *argv[]);
// Empty inside a working namespace.
QString privateNetworkUnavailable();
// The namespace's own non-loopback address.
inline const char *privateNetworkAddress()
{
    return "198.18.0.1";
}

} // namespace testsupport

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
