#include "app/tray_icon.h"
#include "counting_presenter.h"
#include "support/log_capture.h"
#include "support/test_main.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

using testsupport::LogCapture;

namespace {

QSystemTrayIcon *iconOf(TrayIcon &tray)
{
    return tray.findChild<QSystemTrayIcon *>();
}

QAction *showEntry(TrayIcon &tray)
{
    return iconOf(tray)->contextMenu()->actions().value(0);
}

} // namespace

class TrayIconTest : public QObject
{
    Q_OBJECT

private slots:
    void iconMenuAndTooltip()
    {
        TrayIcon tray;
        QSystemTrayIcon *icon = iconOf(tray);
        QVERIFY(icon);
        QCOMPARE(icon->toolTip(), QStringLiteral("Kestova v0.1.0"));
        QVERIFY(!icon->icon().isNull());
        QVERIFY(!icon->icon().pixmap(32, 32).isNull());
        QVERIFY(!icon->isVisible());

        const QList<QAction *> actions = icon->contextMenu()->actions();
        QCOMPARE(actions.size(), 3);
        QCOMPARE(actions.at(0)->text(), QStringLiteral("显示窗口"));
        QVERIFY(actions.at(1)->isSeparator());
        QCOMPARE(actions.at(2)->text(), QStringLiteral("退出"));
        QVERIFY(actions.at(2)->isEnabled());
    }

    void showEntryFollowsThePresenter()
    {
        TrayIcon tray;
        QAction *entry = showEntry(tray);
        CountingPresenter presenter;
        QVERIFY(!entry->isEnabled());
        entry->trigger(); // disabled: nothing reaches anyone
        QCOMPARE(presenter.presented, 0);

        tray.setPresenter(&presenter);
        QVERIFY(entry->isEnabled());
        entry->trigger();
        QCOMPARE(presenter.presented, 1);

        tray.setPresenter(nullptr);
        QVERIFY(!entry->isEnabled());
        entry->trigger();
        QCOMPARE(presenter.presented, 1);
    }

    void activation_data()
    {
        QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
        QTest::addColumn<int>("presented");
        QTest::newRow("single click") << QSystemTrayIcon::Trigger << 1;
        QTest::newRow("double click") << QSystemTrayIcon::DoubleClick << 1;
        QTest::newRow("context menu") << QSystemTrayIcon::Context << 0;
        QTest::newRow("middle click") << QSystemTrayIcon::MiddleClick << 0;
        QTest::newRow("unknown") << QSystemTrayIcon::Unknown << 0;
    }

    void activation()
    {
        QFETCH(QSystemTrayIcon::ActivationReason, reason);
        QFETCH(int, presented);
        TrayIcon tray;
        CountingPresenter presenter;

        emit iconOf(tray)->activated(reason); // before the shell handed its presenter over
        QCOMPARE(presenter.presented, 0);

        tray.setPresenter(&presenter);
        emit iconOf(tray)->activated(reason);
        QCOMPARE(presenter.presented, presented);

        tray.setPresenter(nullptr);
        emit iconOf(tray)->activated(reason);
        QCOMPARE(presenter.presented, presented);
    }

    void withoutSystemTrayShowWarnsAndStaysHidden()
    {
        if (QSystemTrayIcon::isSystemTrayAvailable())
            QSKIP("this desktop has a system tray");
        LogCapture logs;
        TrayIcon tray;
        tray.show();
        QCOMPARE(logs.count("app.tray", "system tray unavailable, close-to-tray disabled and window close will quit"),
                 1);
        QVERIFY(!iconOf(tray)->isVisible());
    }

    void quitEntryEndsTheEventLoop()
    {
        TrayIcon tray;
        QAction *quit = iconOf(tray)->contextMenu()->actions().at(2);
        QTimer::singleShot(0, quit, &QAction::trigger);
        // Only a guard against a broken quit entry: exits with a distinct code.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(7); });
        guard.start(5000);
        QCOMPARE(QApplication::exec(), 0);
    }
};

KESTOVA_TEST_MAIN(TrayIconTest)
#include "test_tray_icon.moc"
