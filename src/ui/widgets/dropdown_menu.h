#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QLineEdit;
class QStackedWidget;

// A one-shot popup list under an anchor widget, at the anchor's width: items with a
// check mark on the selected one and, optionally, an inline "create" row that turns into
// a line edit with a confirm button. Create it, fill it, connect it, call popup(); it
// deletes itself when it closes.
class DropdownMenu : public QWidget
{
    Q_OBJECT
public:
    struct Item
    {
        qint64 id = 0;
        QString text;
        bool enabled = true;
    };

    explicit DropdownMenu(QWidget *parent = nullptr);

    // selectedId <= 0 marks no row.
    void setItems(const QList<Item> &items, qint64 selectedId);
    void setActionRow(const QString &text, bool enabled, const QString &placeholder, int maxLength);
    // Builds the rows and shows the menu below the anchor.
    void popup(QWidget *anchor);

    // Built by popup(): the item rows in order, and the create row's pages and editor.
    QList<QWidget *> itemRows() const { return rows; }
    QStackedWidget *actionStackWidget() const { return actionStack; }
    QLineEdit *actionLineEdit() const { return actionEdit; }

signals:
    void itemSelected(qlonglong id);
    void actionSubmitted(const QString &text);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QWidget *buildEditRow();
    void submitAction();

    QList<Item> items;
    qint64 selectedId = 0;
    bool actionRow = false;
    QString actionText;
    bool actionEnabled = false;
    QString actionPlaceholder;
    int actionMaxLength = 32767;
    int rowHeight = 0;
    QStackedWidget *actionStack = nullptr;
    QLineEdit *actionEdit = nullptr;
    QList<QWidget *> rows;
};
