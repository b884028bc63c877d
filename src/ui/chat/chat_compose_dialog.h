#pragma once

#include "ui/chat/chat_pending_image.h"

#include <QDialog>
#include <QList>
#include <QString>

class ChatMarkdownHighlighter;
class ImePlainTextEdit;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// The chat's long-form editor: markdown toolbar, optional title, a tag of the room or a
// new tag, and up to four images. It sends nothing: the caller runs it with exec() and
// reads the accessors after acceptance, which guarantees a valid combination (see send
// checks in the source). GUI thread.
class ChatComposeDialog : public QDialog
{
    Q_OBJECT
public:
    struct TagEntry
    {
        qint64 id = 0;
        QString name;
        qint64 messageCount = 0;
    };

    static constexpr int kMaxContentLength = 2000;
    static constexpr int kMaxImages = 4;

    ChatComposeDialog(bool tagsEnabled, qint64 initialTagId, const QList<TagEntry> &tags, bool canCreateTag,
                      bool tagLocked, QWidget *parent = nullptr);

    QString content() const;
    QString title() const;
    QList<ChatPendingImage> images() const { return imageList; }
    bool createsNewTag() const { return creatingNewTag; }
    QString newTagName() const { return newTag; }
    qint64 tagId() const { return chosenTagId; }

    // The steps behind the buttons, callable without the file dialog and the picker.
    void selectTag(qint64 id);
    void startNewTag(const QString &name);
    void addImages(const QStringList &paths);
    void trySend();

    QPushButton *tagButtonWidget() const { return tagButton; }
    QLineEdit *titleField() const { return titleEdit; }
    QPlainTextEdit *editorWidget() const;
    QLabel *errorText() const { return errorLabel; }
    QPushButton *addImageButtonWidget() const { return addImageButton; }
    QWidget *attachRowWidget() const { return attachRow; }

private:
    QPushButton *makeToolButton(const char *svg, const QString &toolTip);
    void wrapSelection(const QString &marker);
    void quoteLine();
    void openTagPicker();
    void pickImages();
    void rebuildAttachRow();
    void showError(const QString &text);

    bool tagsEnabled = false;
    bool canCreateTag = false;
    bool tagLocked = false;
    bool creatingNewTag = false;
    qint64 chosenTagId = 0;
    QList<TagEntry> tags;
    QPushButton *tagButton = nullptr;
    QString newTag;
    QLineEdit *titleEdit = nullptr;
    ImePlainTextEdit *editor = nullptr;
    QLabel *errorLabel = nullptr;
    ChatMarkdownHighlighter *highlighter = nullptr;
    QList<ChatPendingImage> imageList;
    QWidget *attachRow = nullptr;
    QHBoxLayout *attachLayout = nullptr;
    QPushButton *addImageButton = nullptr;
};
