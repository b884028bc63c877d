#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QStringList>

class HoverRow;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

// The modal two-pane editor of a list of named configurations: names on the left with
// inline rename, delete (asked first) and an add button, the owner's detail widget on the
// right. It keeps no configuration data: it reports the user's choices as signals and the
// owner hands the new names back with setItems. Index -1 is the leading "默认" row.
// GUI thread.
class ConfigWindow : public QDialog
{
    Q_OBJECT
public:
    ConfigWindow(const QString &title, const QString &addText, QWidget *parent = nullptr);
    ~ConfigWindow() override;

    void setItems(const QStringList &names);
    void setCurrentIndex(int index);
    void setAllowNone(bool allow);
    void setDetailWidget(QWidget *widget);
    void setPlaceholderText(const QString &text);

    // The selected item; -1 for the none row or no selection.
    int currentIndex() const { return selectedIndex; }

    // What the list shows, for tests and the owner: the row of an index (-1: the none row),
    // its name label, its editor and its hover widget with "重命名" and "删除".
    QWidget *rowAt(int index) const;
    QLabel *nameLabelAt(int index) const;
    QLineEdit *editorAt(int index) const;
    QWidget *actionsAt(int index) const;
    QPushButton *addItemButton() const { return addButton; }
    QLabel *placeholder() const { return placeholderLabel; }
    QWidget *detail() const { return detailWidget; }
    int renamingIndex() const { return renameIndex; }

signals:
    void itemSelected(int index);
    void itemAddRequested();
    void itemRenameRequested(int index, const QString &newName);
    void itemDeleteRequested(int index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct RowEntry
    {
        HoverRow *row = nullptr;
        QLabel *nameLabel = nullptr;
        QLineEdit *editor = nullptr;
        QWidget *actions = nullptr;
    };

    void rebuildList();
    void makeRow(int index, const QString &name);
    void setRowSelected(QWidget *row, bool selected);
    void repaintRows();
    void selectFromClick(int index);
    void confirmDelete(int index);
    void startRename(int index);
    void commitRenameLater();
    void finishRename(bool commit);
    void updatePlaceholder();

    QScrollArea *listArea = nullptr;
    QVBoxLayout *listLayout = nullptr;
    HoverRow *noneRow = nullptr;
    QList<RowEntry> rows;
    QPushButton *addButton = nullptr;
    QHBoxLayout *bodyLayout = nullptr;
    QWidget *detailWidget = nullptr;
    QLabel *placeholderLabel = nullptr;
    QStringList items;
    bool allowNone = true;
    int selectedIndex = -1;
    int renameIndex = -1;
    QPointer<QLineEdit> renameEditor;
};
