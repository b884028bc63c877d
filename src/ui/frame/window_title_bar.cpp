#include "ui/frame/window_title_bar.h"

#include "platform/frameless/frameless_agent.h"
#include "theme/hairline.h"
#include "theme/style_helpers.h"
#include "theme/theme_palette.h"

#include <QBoxLayout>
#include <QEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>

namespace {

const char kTitleBarSheet[] = "#windowTitleBar { background: @panelBg@; border-bottom: 1px solid @border@; }\n"
                              "#titleBarBrand { color: @primaryText@; font-size: 13px; font-weight: 600; "
                              "padding: 0 18px; }\n"
                              "#windowTitleBar QMenuBar { background: transparent; border: none; padding: 0px; "
                              "margin: 0px; }\n"
                              "#windowTitleBar QMenuBar::item { padding: 11px 13px; }\n"
                              "#windowTitleBar QMenuBar::item:selected { background: @divider@; }\n";

const QColor kCloseHover(0xe8, 0x11, 0x23);
const QColor kClosePressed(0xc5, 0x0e, 0x1f);

} // namespace

WindowTitleBar::SysButton::SysButton(Kind kind, QWidget *parent)
    : QAbstractButton(parent)
    , buttonKind(kind)
{
    setFixedWidth(46);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover, true);
}

void WindowTitleBar::SysButton::setKind(Kind kind)
{
    if (kind == buttonKind)
        return;
    buttonKind = kind;
    update();
}

QSize WindowTitleBar::SysButton::sizeHint() const
{
    return {46, 40};
}

void WindowTitleBar::SysButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const bool hovered = underMouse();
    const bool close = buttonKind == Close;
    QColor background;
    if (hovered) {
        if (close)
            background = isDown() ? kClosePressed : kCloseHover;
        else
            background = ThemePalette::color(isDown() ? "border" : "divider");
        painter.fillRect(rect(), background);
    }
    const QColor glyph = close && hovered ? QColor(Qt::white) : ThemePalette::color("text");
    const QRect box((width() - 10) / 2, (height() - 10) / 2, 10, 10);

    switch (buttonKind) {
        case Minimize: paintHairlineH(painter, box.top() + 5, box.left(), box.left() + box.width(), glyph); break;
        case Maximize: paintHairlineRect(painter, box, glyph); break;
        case Restore: {
            paintHairlineRect(painter, QRect(box.x() + 3, box.y(), 7, 7), glyph);
            const QRect front(box.x(), box.y() + 3, 7, 7);
            painter.fillRect(front, background.isValid() ? background : ThemePalette::color("panelBg"));
            paintHairlineRect(painter, front, glyph);
            break;
        }
        case Close: {
            painter.setRenderHint(QPainter::Antialiasing, true);
            painter.setPen(QPen(glyph, hairlineThickness(painter)));
            painter.drawLine(QPointF(box.left(), box.top()), QPointF(box.right() + 1, box.bottom() + 1));
            painter.drawLine(QPointF(box.right() + 1, box.top()), QPointF(box.left(), box.bottom() + 1));
            break;
        }
    }
}

WindowTitleBar::WindowTitleBar(QMenuBar *menuBar, QWidget *parent)
    : QWidget(parent)
    , menu(menuBar)
{
    setObjectName(QStringLiteral("windowTitleBar"));
    setFixedHeight(40);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(style::resolveTheme(QString::fromLatin1(kTitleBarSheet)));

    brandLabel = new QLabel(this);
    brandLabel->setObjectName(QStringLiteral("titleBarBrand"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(brandLabel);
    if (menu) {
        row->addSpacing(4);
        menu->setParent(this);
        menu->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
        row->addWidget(menu, 0, Qt::AlignVCenter);
    }
    row->addStretch(1);
    minButton = new SysButton(SysButton::Minimize, this);
    maxButton = new SysButton(SysButton::Maximize, this);
    closeBtn = new SysButton(SysButton::Close, this);
    row->addWidget(minButton);
    row->addWidget(maxButton);
    row->addWidget(closeBtn);
}

void WindowTitleBar::setTitle(const QString &text)
{
    brandLabel->setText(text);
}

QString WindowTitleBar::title() const
{
    return brandLabel->text();
}

bool WindowTitleBar::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange && watched->isWidgetType()) {
        const bool maximized = static_cast<QWidget *>(watched)->isMaximized();
        maxButton->setKind(maximized ? SysButton::Restore : SysButton::Maximize);
    }
    return QWidget::eventFilter(watched, event);
}

void installFramelessAgent(QWidget *window, WindowTitleBar *titleBar)
{
    if (!window || !titleBar)
        return;
    auto *agent = new FramelessAgent(window);
    agent->setup(window);
    agent->setTitleBar(titleBar);
    if (titleBar->menuBar())
        agent->setHitTestVisible(titleBar->menuBar(), true);
    agent->setSystemButton(FramelessAgent::Minimize, titleBar->minimizeButton());
    agent->setSystemButton(FramelessAgent::Maximize, titleBar->maximizeButton());
    agent->setSystemButton(FramelessAgent::Close, titleBar->closeButton());

    QObject::connect(titleBar->minimizeButton(), &QAbstractButton::clicked, window, &QWidget::showMinimized);
    QObject::connect(titleBar->maximizeButton(), &QAbstractButton::clicked, window, [window] {
        if (window->isMaximized())
            window->showNormal();
        else
            window->showMaximized();
    });
    QObject::connect(titleBar->closeButton(), &QAbstractButton::clicked, window, &QWidget::close);
    window->installEventFilter(titleBar);
}
