#include "hotkey/global_hotkey_monitor.h"
#include "platform/keyboard/x11_keyboard_source.h"
#include "support/test_main.h"
#include "synthetic_keyboard.h"

#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>

// The X11 keyboard source against a private virtual X server, with keys typed through XTest.
class X11KeyboardSourceTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void reportsKeysAndHeldState();
    void monitorOverDesktopKeyboard();
    void noDisplayRefuses();

private:
    QProcess server;
    QByteArray display;
};

void X11KeyboardSourceTest::initTestCase()
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        QSKIP("Xvfb is not installed");
    // The server picks a free display number and writes it to its standard output. It must not reset
    // when its last client goes, or the next test finds it busy regenerating.
    server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                        QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-screen"),
                        QStringLiteral("0"), QStringLiteral("320x240x24")});
    QVERIFY2(server.waitForStarted(5000), qPrintable(server.errorString()));
    QByteArray number;
    while (!number.endsWith('\n') && server.waitForReadyRead(10000))
        number += server.readAllStandardOutput();
    QVERIFY2(!number.trimmed().isEmpty(), "Xvfb did not name its display");
    display = ':' + number.trimmed();
}

void X11KeyboardSourceTest::cleanupTestCase()
{
    if (server.state() == QProcess::Running) {
        server.terminate();
        if (!server.waitForFinished(3000))
            server.kill();
    }
}

void X11KeyboardSourceTest::reportsKeysAndHeldState()
{
    X11KeyboardSource source(QString::fromLatin1(display));
    QSignalSpy input(&source, &AbstractKeyboardSource::keyInput);
    QVERIFY(source.registerInput());
    QVERIFY(source.registerInput()); // already reporting
    SyntheticKeyboard keyboard(display);
    QVERIFY(keyboard.isOpen());

    keyboard.press(SyntheticKeyboard::keysymOf("F2"));
    QTRY_COMPARE(input.count(), 1);
    QCOMPARE(input.at(0).at(0).value<quint16>(), quint16(113));
    QCOMPARE(input.at(0).at(1).toBool(), false);
    QVERIFY(source.isKeyDown(113));
    QVERIFY(!source.isKeyDown(114));

    keyboard.press(SyntheticKeyboard::keysymOf("q"));
    QTRY_COMPARE(input.count(), 2);
    QCOMPARE(input.at(1).at(0).value<quint16>(), quint16('Q'));
    QVERIFY(source.isKeyDown('Q'));

    keyboard.release(SyntheticKeyboard::keysymOf("q"));
    keyboard.release(SyntheticKeyboard::keysymOf("F2"));
    QTRY_COMPARE(input.count(), 4);
    QCOMPARE(input.at(3).at(0).value<quint16>(), quint16(113));
    QCOMPARE(input.at(3).at(1).toBool(), true);
    QVERIFY(!source.isKeyDown(113));
    QVERIFY(!source.isKeyDown('Q'));

    QCOMPARE(source.virtualKeyForCharacter(u';'), quint16(0xBA));
    QCOMPARE(X11KeyboardSource::virtualKeyForKeysym(SyntheticKeyboard::keysymOf("Scroll_Lock")), quint16(145));
    QCOMPARE(X11KeyboardSource::virtualKeyForKeysym(SyntheticKeyboard::keysymOf("F24")), quint16(135));
}

void X11KeyboardSourceTest::monitorOverDesktopKeyboard()
{
    GlobalHotkeyMonitor monitor(nullptr, std::make_unique<X11KeyboardSource>(QString::fromLatin1(display)));
    QSignalSpy downs(&monitor, &GlobalHotkeyMonitor::keyDown);
    QSignalSpy ups(&monitor, &GlobalHotkeyMonitor::keyUp);
    monitor.watchKey(Qt::Key_F3);
    QTest::qWait(0); // the queued registration
    SyntheticKeyboard keyboard(display);
    const unsigned long f3 = SyntheticKeyboard::keysymOf("F3");
    keyboard.press(f3);
    keyboard.press(f3); // a repeat
    QTRY_COMPARE(downs.count(), 1);
    keyboard.release(f3);
    QTRY_COMPARE(ups.count(), 1);
    QCOMPARE(downs.count(), 1);
    QCOMPARE(ups.first().first().toInt(), int(Qt::Key_F3));
}

void X11KeyboardSourceTest::noDisplayRefuses()
{
    X11KeyboardSource source(QStringLiteral(":987654"));
    QVERIFY(!source.registerInput());
    QVERIFY(!source.isKeyDown(113));
}

KESTOVA_TEST_MAIN(X11KeyboardSourceTest)
#include "test_x11_keyboard_source.moc"
