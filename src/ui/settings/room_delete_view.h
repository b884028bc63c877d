#pragma once

#include <QString>
#include <QWidget>

class QPushButton;

// The last page of the room and channel settings dialogs: a warning and one button that,
// after a second confirmation, asks for the deletion.
class RoomDeleteView : public QWidget
{
    Q_OBJECT

public:
    struct Texts
    {
        QString title = QStringLiteral("⚠ 删除此房间");
        QString description = QStringLiteral(
            "删除后房间、房间码、身份与权限设置一并移除，成员被移出，聊天记录不再可读。此操作不可恢复。");
        QString confirmButtonText = QStringLiteral("我确认，删除房间");
        QString dialogTitle = QStringLiteral("删除房间");
        QString dialogText = QStringLiteral("确定删除此房间？此操作不可恢复。");
    };

    static Texts roomTexts() { return Texts{}; }
    static Texts channelTexts();

    explicit RoomDeleteView(QWidget *parent = nullptr);
    RoomDeleteView(const Texts &texts, QWidget *parent = nullptr);

    // The owning dialog enables or disables this button directly.
    QPushButton *confirmButton() const { return button; }

signals:
    // Emitted for rooms and channels alike, only after the user answered Yes.
    void roomDeleteRequested();

private:
    void confirm();

    QPushButton *button = nullptr;
    QString dialogTitle;
    QString dialogText;
};
