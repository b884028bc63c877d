#include "ui/widgets/ctrl_key_watcher.h"
#include "ui/widgets/external_link.h"

#include "support/test_main.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <functional>

// Receives the addresses handed to the desktop, so that nothing leaves the test.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.append(url); }
};

namespace {

struct PromptSeen
{
    bool shown = false;
    QString title;
    QString message;
    bool refusalShown = false;
};

QPushButton *buttonNamed(QDialog *dialog, const QString &text)
{
    for (QPushButton *button : dialog->findChildren<QPushButton *>())
        if (button->text() == text)
            return button;
    return nullptr;
}

// Answers the prompt from a 0 ms timer once its event loop runs: records what it shows,
// then clicks the buttons in order.
void answerWith(PromptSeen &seen, const QStringList &clicks)
{
    QTimer::singleShot(0, qApp, [&seen, clicks] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen.shown = true;
        seen.title = dialog->windowTitle();
        for (QLabel *label : dialog->findChildren<QLabel *>())
            if (label->objectName().isEmpty())
                seen.message = label->text();
        for (const QString &text : clicks) {
            if (QPushButton *button = buttonNamed(dialog, text))
                button->click();
            if (auto *refusal = dialog->findChild<QLabel *>(QStringLiteral("linkRefusal")))
                seen.refusalShown = seen.refusalShown || refusal->isVisible();
        }
    });
}

void setCtrl(QWidget *window, bool down)
{
    if (down)
        QTest::keyPress(window->windowHandle(), Qt::Key_Control, Qt::ControlModifier);
    else
        QTest::keyRelease(window->windowHandle(), Qt::Key_Control, Qt::NoModifier);
}

} // namespace

class ExternalLinkTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void looseLinkNeedsCtrl();
    void ordinaryLinkIsOfferedUnchanged();
    void longAddressIsElidedButCopiedWhole();
    void openHandsOnlyWebAddressesToTheDesktop();
    void ctrlWatcher();
    void ctrlWatcherDropsOnDeactivation();

private:
    QWidget *window = nullptr;
    UrlRecorder recorder;
};

void ExternalLinkTest::initTestCase()
{
    window = new QWidget;
    window->resize(200, 100);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    for (const char *scheme : {"http", "https", "file", "mailto", "ftp"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &recorder, "open");
}

void ExternalLinkTest::cleanupTestCase()
{
    for (const char *scheme : {"http", "https", "file", "mailto", "ftp"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    delete window;
}

void ExternalLinkTest::init()
{
    recorder.opened.clear();
    QGuiApplication::clipboard()->clear();
    setCtrl(window, false);
}

void ExternalLinkTest::looseLinkNeedsCtrl()
{
    PromptSeen seen;
    answerWith(seen, {QStringLiteral("取消")});
    confirmOpenExternalLink(QStringLiteral("loose:example.com/a"), window);
    QVERIFY(!seen.shown);              // returned at once, nothing shown
    QCoreApplication::processEvents(); // let the unused timer fire harmlessly

    setCtrl(window, true);
    QVERIFY(QGuiApplication::keyboardModifiers().testFlag(Qt::ControlModifier));
    PromptSeen withCtrl;
    answerWith(withCtrl, {QStringLiteral("复制链接")});
    confirmOpenExternalLink(QStringLiteral("loose:example.com/a"), window);
    QVERIFY(withCtrl.shown);
    QCOMPARE(withCtrl.title, QStringLiteral("外部链接"));
    QCOMPARE(withCtrl.message, QStringLiteral("https://example.com/a 是外部链接，请注意甄别页面内容，谨防诈骗"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("https://example.com/a"));
    QVERIFY(recorder.opened.isEmpty());
    setCtrl(window, false);
}

void ExternalLinkTest::ordinaryLinkIsOfferedUnchanged()
{
    for (const bool ctrl : {false, true}) {
        setCtrl(window, ctrl);
        PromptSeen seen;
        answerWith(seen, {QStringLiteral("复制链接")});
        confirmOpenExternalLink(QStringLiteral("http://example.org/x?y=1"), window);
        QVERIFY(seen.shown);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("http://example.org/x?y=1"));
    }
    setCtrl(window, false);

    QGuiApplication::clipboard()->clear();
    PromptSeen cancelled;
    answerWith(cancelled, {QStringLiteral("取消")});
    confirmOpenExternalLink(QStringLiteral("https://example.org/"), window);
    QVERIFY(cancelled.shown);
    QVERIFY(recorder.opened.isEmpty());
    QVERIFY(QGuiApplication::clipboard()->text().isEmpty());
}

void ExternalLinkTest::longAddressIsElidedButCopiedWhole()
{
    const QString address =
        QStringLiteral("https://example.com/") + QString(300, QLatin1Char('a')) + QStringLiteral("/end");
    PromptSeen seen;
    answerWith(seen, {QStringLiteral("用默认浏览器打开")});
    confirmOpenExternalLink(address, window);
    QVERIFY(seen.message.contains(QChar(0x2026)));
    QVERIFY(seen.message.startsWith(QStringLiteral("https://")));
    QVERIFY(seen.message.contains(QStringLiteral("/end 是外部链接")));
    QVERIFY(seen.message.size() < address.size());
    QCOMPARE(recorder.opened.size(), 1);
    QCOMPARE(recorder.opened.first().toString(), address);
}

void ExternalLinkTest::openHandsOnlyWebAddressesToTheDesktop()
{
    PromptSeen web;
    answerWith(web, {QStringLiteral("用默认浏览器打开")});
    confirmOpenExternalLink(QStringLiteral("https://example.com/page"), window);
    QCOMPARE(recorder.opened, QList<QUrl>{QUrl(QStringLiteral("https://example.com/page"))});
    QVERIFY(!web.refusalShown);

    for (const char *other :
         {"file:///etc/passwd", "mailto:a@example.com", "ftp://example.com/x", "javascript:alert(1)"}) {
        recorder.opened.clear();
        PromptSeen seen;
        answerWith(seen, {QStringLiteral("用默认浏览器打开"), QStringLiteral("取消")});
        confirmOpenExternalLink(QString::fromLatin1(other), window);
        QVERIFY2(seen.shown, other);
        QVERIFY2(seen.refusalShown, other);
        QVERIFY2(recorder.opened.isEmpty(), other);
    }
}

void ExternalLinkTest::ctrlWatcher()
{
    CtrlKeyWatcher *watcher = CtrlKeyWatcher::instance();
    QCOMPARE(CtrlKeyWatcher::instance(), watcher);
    QCOMPARE(watcher->parent(), qApp);
    QSignalSpy changed(watcher, &CtrlKeyWatcher::changed);

    const auto send = [&](QEvent::Type type, bool repeat) {
        QKeyEvent event(type, Qt::Key_Control, type == QEvent::KeyPress ? Qt::ControlModifier : Qt::NoModifier,
                        QString(), repeat);
        QApplication::sendEvent(window, &event);
    };
    send(QEvent::KeyPress, false);
    for (int i = 0; i < 5; ++i)
        send(QEvent::KeyPress, true);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toBool(), true);
    QVERIFY(watcher->held());

    QKeyEvent other(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier, QStringLiteral("a"));
    QApplication::sendEvent(window, &other);
    QCOMPARE(changed.count(), 1);

    send(QEvent::KeyRelease, false);
    send(QEvent::KeyRelease, false);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.at(1).at(0).toBool(), false);
    QVERIFY(!watcher->held());
}

void ExternalLinkTest::ctrlWatcherDropsOnDeactivation()
{
    CtrlKeyWatcher *watcher = CtrlKeyWatcher::instance();
    QSignalSpy changed(watcher, &CtrlKeyWatcher::changed);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
    QApplication::sendEvent(window, &press);
    QCOMPARE(changed.count(), 1);

    QApplicationStateChangeEvent inactive(Qt::ApplicationInactive);
    QApplication::sendEvent(qApp, &inactive);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.at(1).at(0).toBool(), false);
    QApplication::sendEvent(qApp, &inactive);
    QCOMPARE(changed.count(), 2);

    QApplicationStateChangeEvent active(Qt::ApplicationActive);
    QApplication::sendEvent(qApp, &active);
    QApplication::sendEvent(window, &press);
    QCOMPARE(changed.count(), 3);
    QCOMPARE(changed.at(2).at(0).toBool(), true);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier);
    QApplication::sendEvent(window, &release);
}

KESTOVA_TEST_MAIN(ExternalLinkTest)
#include "test_external_link.moc"
