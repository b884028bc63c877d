#include "ui/dialogs/account_dialog.h"
#include "ui/dialogs/reconnect_prompt.h"

#include "support/test_main.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

namespace {

// Answers the reconnect prompt from a 0 ms timer once its event loop runs.
void answerPrompt(const std::function<void(QDialog *)> &answer)
{
    QTimer::singleShot(0, qApp, [answer] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            answer(dialog);
    });
}

QPushButton *buttonNamed(QWidget *dialog, const QString &text)
{
    for (QPushButton *button : dialog->findChildren<QPushButton *>())
        if (button->text() == text)
            return button;
    return nullptr;
}

} // namespace

class AccountDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void saveEnabling_data();
    void saveEnabling();
    void enterOnlyWhenEnabled();
    void successAndRetypingTheOldName();
    void errorKeepsTheText_data();
    void errorKeepsTheText();
    void copyId();
    void reconnectAnswers_data();
    void reconnectAnswers();
    void reconnectWindowGoneMeansNo();
    void reconnectRoomNameIsPlainText();
};

void AccountDialogTest::saveEnabling_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("unchanged") << "小明" << false;
    QTest::newRow("blanks around the current") << "  小明 " << false;
    QTest::newRow("only blanks") << "   " << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("different") << "小红" << true;
    QTest::newRow("case differs") << "Ming" << true;
}

void AccountDialogTest::saveEnabling()
{
    QFETCH(QString, typed);
    QFETCH(bool, enabled);
    AccountDialog dialog(QStringLiteral("小明"), QStringLiteral("u_10086"));
    QVERIFY(!dialog.saveButton()->isEnabled());
    dialog.nicknameField()->setText(typed);
    QCOMPARE(dialog.saveButton()->isEnabled(), enabled);
}

void AccountDialogTest::enterOnlyWhenEnabled()
{
    AccountDialog dialog(QStringLiteral("小明"), QStringLiteral("u_10086"));
    dialog.show();
    QSignalSpy submitted(&dialog, &AccountDialog::nicknameSubmitted);
    dialog.nicknameField()->setText(QStringLiteral(" 小明  "));
    QTest::keyClick(dialog.nicknameField(), Qt::Key_Return);
    QCOMPARE(submitted.count(), 0);

    dialog.nicknameField()->setText(QStringLiteral(" 小红 "));
    QTest::keyClick(dialog.nicknameField(), Qt::Key_Return);
    QCOMPARE(submitted.count(), 1);
    QCOMPARE(submitted.at(0).at(0).toString(), QStringLiteral("小红"));
    QVERIFY(!dialog.nicknameField()->isEnabled());
    QVERIFY(!dialog.saveButton()->isEnabled());
    QCOMPARE(dialog.saveButton()->text(), QStringLiteral("保存中..."));

    dialog.nicknameField()->setText(QString(20, QLatin1Char('x')));
    QCOMPARE(dialog.nicknameField()->text().size(), 16); // a seventeenth character cannot be typed
}

void AccountDialogTest::successAndRetypingTheOldName()
{
    AccountDialog dialog(QStringLiteral("小明"), QStringLiteral("u_10086"));
    dialog.nicknameField()->setText(QStringLiteral("小红"));
    dialog.saveButton()->click();
    dialog.applyNicknameSuccess();
    QCOMPARE(dialog.statusLine()->text(), QStringLiteral("昵称已更新"));
    QCOMPARE(dialog.statusLine()->property("role").toString(), QStringLiteral("ok"));
    QVERIFY(dialog.nicknameField()->isEnabled());
    QVERIFY(!dialog.saveButton()->isEnabled());
    QCOMPARE(dialog.saveButton()->text(), QStringLiteral("修改"));

    dialog.nicknameField()->setText(QStringLiteral("小明"));
    QVERIFY(dialog.saveButton()->isEnabled());
    QVERIFY(dialog.statusLine()->text().isEmpty()); // editing clears the status line
}

void AccountDialogTest::errorKeepsTheText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("no message") << QString() << "修改失败，请稍后重试";
    QTest::newRow("server message") << "昵称包含敏感词"
                                    << "昵称包含敏感词";
}

void AccountDialogTest::errorKeepsTheText()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    AccountDialog dialog(QStringLiteral("小明"), QStringLiteral("u_10086"));
    dialog.nicknameField()->setText(QStringLiteral("坏名字"));
    dialog.saveButton()->click();
    dialog.applyNicknameError(message);
    QCOMPARE(dialog.statusLine()->text(), shown);
    QCOMPARE(dialog.statusLine()->property("role").toString(), QStringLiteral("error"));
    QCOMPARE(dialog.nicknameField()->text(), QStringLiteral("坏名字"));
    QVERIFY(dialog.nicknameField()->isEnabled());
    QVERIFY(dialog.saveButton()->isEnabled());
}

void AccountDialogTest::copyId()
{
    AccountDialog dialog(QStringLiteral("小明"), QStringLiteral("u_10086"));
    dialog.copyButton()->click();
    QCOMPARE(QGuiApplication::clipboard()->text(QClipboard::Clipboard), QStringLiteral("u_10086"));
    QCOMPARE(dialog.statusLine()->text(), QStringLiteral("已复制"));
    QCOMPARE(dialog.statusLine()->property("role").toString(), QStringLiteral("ok"));
}

void AccountDialogTest::reconnectAnswers_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("expected");
    QTest::newRow("rejoin") << "重连" << true;
    QTest::newRow("leave") << "断开" << false;
    QTest::newRow("escape") << "escape" << false;
    QTest::newRow("close") << "close" << false;
}

void AccountDialogTest::reconnectAnswers()
{
    QFETCH(QString, answer);
    QFETCH(bool, expected);
    QString question;
    answerPrompt([&](QDialog *dialog) {
        for (QLabel *label : dialog->findChildren<QLabel *>())
            if (label->text().startsWith(QStringLiteral("房间")))
                question = label->text();
        if (answer == QLatin1String("escape"))
            QTest::keyClick(dialog, Qt::Key_Escape);
        else if (answer == QLatin1String("close"))
            dialog->close();
        else
            buttonNamed(dialog, answer)->click();
    });
    QCOMPARE(askReconnect(QStringLiteral("周末开黑"), nullptr), expected);
    QCOMPARE(question, QStringLiteral("房间「周末开黑」仍在进行中，是否重新连接？"));
}

void AccountDialogTest::reconnectWindowGoneMeansNo()
{
    // The window asking goes away (a sign-out) while the question is open: the answer is
    // "no", and nothing is deleted twice.
    auto *window = new QWidget;
    auto *panel = new QWidget(window);
    window->show();
    QPointer<QDialog> seen;
    answerPrompt([&](QDialog *dialog) {
        seen = dialog;
        delete window;
    });
    QCOMPARE(askReconnect(QStringLiteral("r"), panel), false);
    QVERIFY(!seen);
}

void AccountDialogTest::reconnectRoomNameIsPlainText()
{
    const QString name = QStringLiteral("<b>x</b><img src=\"a.png\">");
    QLabel *question = nullptr;
    QString shown;
    answerPrompt([&](QDialog *dialog) {
        for (QLabel *label : dialog->findChildren<QLabel *>()) {
            if (label->text().startsWith(QStringLiteral("房间"))) {
                question = label;
                shown = label->text();
                QCOMPARE(label->textFormat(), Qt::PlainText);
            }
        }
        dialog->reject();
    });
    askReconnect(name, nullptr);
    QVERIFY(question != nullptr);
    QCOMPARE(shown, QStringLiteral("房间「%1」仍在进行中，是否重新连接？").arg(name));
}

KESTOVA_TEST_MAIN(AccountDialogTest)
#include "test_account_dialog.moc"
