#include "ui/widgets/external_link.h"

#include "theme/ui_log.h"

#include <QBoxLayout>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

namespace {

QPushButton *addButton(QHBoxLayout *row, const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setFixedHeight(36);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    button->setAutoDefault(false);
    row->addWidget(button);
    return button;
}

bool isWebUrl(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

} // namespace

void confirmOpenExternalLink(const QString &url, QWidget *parent)
{
    QString target = url;
    if (target.startsWith(QLatin1String("loose:"))) {
        if (!QGuiApplication::keyboardModifiers().testFlag(Qt::ControlModifier))
            return;
        target = QStringLiteral("https://") + target.mid(6);
    }

    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("外部链接"));
    dialog.setModal(true);
    dialog.setFixedWidth(460);
    auto *layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(16, 16, 16, 14);
    layout->setSpacing(14);

    auto *message = new QLabel(&dialog);
    message->setWordWrap(true);
    message->setTextFormat(Qt::PlainText);
    const QString shown = QFontMetrics(message->font()).elidedText(target, Qt::ElideMiddle, 400);
    message->setText(QStringLiteral("%1 是外部链接，请注意甄别页面内容，谨防诈骗").arg(shown));
    layout->addWidget(message);

    // Shown only when the address cannot go to a browser.
    auto *refusal = new QLabel(QStringLiteral("只能用浏览器打开 http 或 https 链接"), &dialog);
    refusal->setObjectName(QStringLiteral("linkRefusal"));
    refusal->setProperty("role", QStringLiteral("error"));
    refusal->hide();
    layout->addWidget(refusal);

    auto *buttons = new QWidget(&dialog);
    auto *row = new QHBoxLayout(buttons);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    QPushButton *copy = addButton(row, QStringLiteral("复制链接"), buttons);
    QPushButton *open = addButton(row, QStringLiteral("用默认浏览器打开"), buttons);
    open->setProperty("variant", QStringLiteral("primary"));
    QPushButton *cancel = addButton(row, QStringLiteral("取消"), buttons);
    layout->addWidget(buttons);

    QObject::connect(copy, &QPushButton::clicked, &dialog, [&dialog, target] {
        QGuiApplication::clipboard()->setText(target, QClipboard::Clipboard);
        dialog.accept();
    });
    QObject::connect(open, &QPushButton::clicked, &dialog, [&dialog, refusal, target] {
        const QUrl address = QUrl(target, QUrl::TolerantMode);
        if (!isWebUrl(address)) {
            qCWarning(lcUi) << "external link refused"
                            << "scheme=" << address.scheme();
            refusal->show();
            return;
        }
        QDesktopServices::openUrl(address);
        dialog.accept();
    });
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);

    dialog.exec();
}
