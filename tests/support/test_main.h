#pragma once

#include <QApplication>
#include <QTest>

namespace testsupport {
// Points HOME and the XDG folders at a fresh temporary folder, so that the data
// root (cached per process) of every test executable is private. Must run before
// anything asks for the data root.
void prepareTestEnvironment();
} // namespace testsupport

// Like QTEST_MAIN, with a private data root and the offscreen platform.
#define KESTOVA_TEST_MAIN(TestObject)                                                                                  \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        testsupport::prepareTestEnvironment();                                                                         \
        QApplication app(argc, argv);                                                                                  \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                       \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
