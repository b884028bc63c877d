#include "ui/login/login_status_bar.h"

#include "theme/style_helpers.h"

#include <QBoxLayout>
#include <QLabel>

LoginStatusBar::LoginStatusBar(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("loginStatusBar"));
    setFixedHeight(24);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(style::resolveTheme(QStringLiteral("\n#loginStatusBar {\n    background: @white@;\n"
                                                     "    border-top: 1px solid @divider@;\n}\n"
                                                     "#loginStatusBar QLabel {\n    color: @textMuted@;\n"
                                                     "    font-size: 12px;\n}\n")));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(12, 0, 12, 0);
    row->setSpacing(0);
    row->addWidget(new QLabel(QStringLiteral("未登录"), this));
    row->addStretch(1);
}
