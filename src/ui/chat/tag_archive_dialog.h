#pragma once

#include <QDialog>
#include <QList>
#include <QString>

class QComboBox;
class QRadioButton;

// Asks how a tag is deleted: its messages purged (turned into hidden stubs) or moved to
// another tag. Run with exec(); read mode() and targetTagId() after acceptance. GUI thread.
class TagArchiveDialog : public QDialog
{
    Q_OBJECT
public:
    struct TagChoice
    {
        qint64 tagId = 0;
        QString name;
    };

    TagArchiveDialog(const QString &tagName, const QList<TagChoice> &choices, QWidget *parent = nullptr);

    // "purge" or "transfer".
    QString mode() const;
    // The target list's current entry, read whatever the mode; 0 for "无归属".
    qint64 targetTagId() const;

    QRadioButton *purgeButton() const { return purge; }
    QRadioButton *transferButton() const { return transfer; }
    QComboBox *targetList() const { return targets; }

private:
    QRadioButton *purge = nullptr;
    QRadioButton *transfer = nullptr;
    QComboBox *targets = nullptr;
};
