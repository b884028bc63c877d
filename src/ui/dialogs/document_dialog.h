#pragma once

#include <QDialog>

class QTextBrowser;

// One long text document: a viewer with a close button, or a consent form with
// "拒绝" and "同意" that cannot be dismissed any other way (its owner closes it).
class DocumentDialog : public QDialog
{
    Q_OBJECT
public:
    enum Mode {
        Viewer = 0,
        Consent = 1,
    };

    DocumentDialog(const QString &title, int mode, QWidget *parent = nullptr);

    // As HTML when isHtml, otherwise as Markdown.
    void setContent(const QString &text, bool isHtml);
    void setPlainText(const QString &text);

    int mode() const { return dialogMode; }
    QTextBrowser *browser() const { return textBrowser; }

signals:
    void consentAgreed();
    void consentRejected();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    const int dialogMode;
    QTextBrowser *textBrowser = nullptr;
};
