#include "ui/chat/chat_feed_list.h"

#include <QEvent>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>

namespace {

// Near the viewport: half a viewport height above and below it, at least this much.
constexpr int kMinimumMargin = 400;
// Within this many pixels of the end the user counts as being at the bottom.
constexpr int kBottomSlack = 4;

} // namespace

ChatFeedList::ChatFeedList(QScrollArea *scrollArea, int itemSpacing, int outerMargin)
    : QWidget(scrollArea)
    , area(scrollArea)
    , spacing(itemSpacing)
    , margin(outerMargin)
{
    area->setWidgetResizable(false);
    // Opaque, in the window colour that shows behind the feed anyway: a scroll (every message
    // that arrives while the view follows the bottom) then moves the pixels already drawn
    // and paints only what comes into view, instead of painting every row on screen again.
    // Static contents: growing the list paints only the part added.
    setAutoFillBackground(true);
    setAttribute(Qt::WA_StaticContents);
    area->setWidget(this);
    area->viewport()->installEventFilter(this);
    QScrollBar *bar = area->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, &ChatFeedList::onScrolled);
}

int ChatFeedList::viewportHeight() const
{
    return qMax(1, area->viewport()->height());
}

quint64 ChatFeedList::append(Kind kind, const QString &text, QWidget *persistent, quint64 key)
{
    captureAnchor();
    Item item;
    item.kind = kind;
    item.key = key != 0 ? key : nextKey++;
    item.text = text;
    if (kind == Kind::Widget) {
        ++widgetItems;
        item.widget = persistent;
        persistent->setParent(this);
        persistent->ensurePolished();
        item.height = measure(persistent, qMax(1, area->viewport()->width()));
        item.measuredWidth = area->viewport()->width();
    } else if (estimateHeight) {
        item.height = estimateHeight(item);
    }
    items.append(item);
    tops.append(0);
    dirtyFrom = qMin(dirtyFrom, int(items.size()) - 1);
    relayout();
    return item.key;
}

void ChatFeedList::prepend(const QList<Item> &fresh)
{
    if (fresh.isEmpty())
        return;
    captureAnchor();
    // Qt's lists keep room at their front, so this costs the page, not the feed.
    for (qsizetype i = fresh.size() - 1; i >= 0; --i) {
        Item item = fresh.at(i);
        if (item.key == 0)
            item.key = nextKey++;
        item.widget = nullptr;
        item.measuredWidth = -1;
        if (estimateHeight)
            item.height = estimateHeight(item);
        items.prepend(item);
        tops.prepend(0);
    }
    if (anchorIndex >= 0)
        anchorIndex += int(fresh.size());
    dirtyFrom = 0;
    liveBegin += int(fresh.size());
    liveEnd += int(fresh.size());
    relayout();
}

void ChatFeedList::remove(quint64 key)
{
    const int index = indexOf(key);
    if (index < 0)
        return;
    captureAnchor();
    if (items.at(index).kind != Kind::Widget && items.at(index).widget)
        release(index);
    if (items.at(index).kind == Kind::Widget)
        --widgetItems;
    if (anchorIndex > index)
        --anchorIndex;
    items.removeAt(index);
    tops.removeAt(index);
    if (index < liveBegin)
        --liveBegin;
    if (index < liveEnd)
        --liveEnd;
    dirtyFrom = qMin(dirtyFrom, index);
    relayout();
}

void ChatFeedList::removeWidget(QWidget *persistent)
{
    for (int i = int(items.size()) - 1; i >= 0; --i) {
        if (items.at(i).kind == Kind::Widget && items.at(i).widget == persistent) {
            remove(items.at(i).key);
            return;
        }
    }
}

void ChatFeedList::clear()
{
    for (int i = 0; i < items.size(); ++i) {
        if (!items.at(i).widget)
            continue;
        if (items.at(i).kind == Kind::Widget) {
            items[i].widget->hide();
            items[i].widget->deleteLater();
        } else {
            release(i);
        }
    }
    items.clear();
    tops.clear();
    widgetItems = 0;
    dirtyFrom = 0;
    liveBegin = liveEnd = 0;
    following = true;
    anchorKey = 0;
    relayout();
}

void ChatFeedList::invalidate(quint64 key)
{
    const int index = indexOf(key);
    if (index < 0)
        return;
    captureAnchor();
    items[index].measuredWidth = -1;
    if (items.at(index).widget && index >= liveBegin && index < liveEnd) {
        const int height = measure(items.at(index).widget, layoutWidth);
        items[index].measuredWidth = layoutWidth;
        if (height != items.at(index).height) {
            items[index].height = height;
            dirtyFrom = qMin(dirtyFrom, index);
        }
    }
    relayout();
}

int ChatFeedList::indexOf(quint64 key) const
{
    // Keys grow with time and prepends take new ones too, so no order helps; lookups are
    // for the few items near either end (dividers at the seam, cards at the bottom).
    for (int i = int(items.size()) - 1; i >= 0; --i) {
        if (items.at(i).key == key)
            return i;
    }
    return -1;
}

QWidget *ChatFeedList::widgetOf(quint64 key) const
{
    const int index = indexOf(key);
    return index < 0 ? nullptr : items.at(index).widget.data();
}

int ChatFeedList::liveCount() const
{
    int live = 0;
    for (int i = liveBegin; i < liveEnd && i < items.size(); ++i) {
        if (items.at(i).kind != Kind::Widget && items.at(i).widget)
            ++live;
    }
    return live;
}

void ChatFeedList::scrollToBottom()
{
    following = true;
    anchorKey = 0;
    relayout();
}

int ChatFeedList::measure(QWidget *widget, int availableWidth) const
{
    const int w = qMin(availableWidth, widget->maximumWidth());
    if (widget->hasHeightForWidth())
        return qMax(widget->heightForWidth(w), widget->minimumHeight());
    return qMax(widget->sizeHint().height(), widget->minimumHeight());
}

QWidget *ChatFeedList::materialize(int index)
{
    QWidget *widget = createWidget ? createWidget(index, items.at(index), this) : nullptr;
    if (!widget)
        widget = new QWidget(this);
    widget->ensurePolished();
    items[index].widget = widget;
    return widget;
}

void ChatFeedList::release(int index)
{
    QWidget *widget = items.at(index).widget;
    items[index].widget = nullptr;
    if (!widget)
        return;
    const bool kept = widgetReleased && widgetReleased(index, items.at(index), widget);
    widget->hide();
    // Deferred: a menu or dialog that the row opened may still be on the stack.
    if (!kept)
        widget->deleteLater();
}

void ChatFeedList::captureAnchor()
{
    if (following || anchorKey != 0 || items.isEmpty())
        return;
    // The positions of what is on screen now, before anything changes.
    layOutTops();
    const int value = area->verticalScrollBar()->value();
    const auto first = std::partition_point(tops.cbegin(), tops.cend(), [&](const int &top) {
        const int i = int(&top - tops.constData());
        return top + qMax(0, items.at(i).height) <= value;
    });
    int index = int(first - tops.cbegin());
    // A message row, not a divider that a joined seam may remove.
    while (index < items.size() && items.at(index).kind != Kind::Row)
        ++index;
    if (index >= items.size())
        return;
    anchorKey = items.at(index).key;
    anchorIndex = index;
    anchorOffset = tops.at(index) - value;
}

void ChatFeedList::onScrolled(int value)
{
    if (programmatic || busy)
        return;
    QScrollBar *bar = area->verticalScrollBar();
    following = value >= bar->maximum() - kBottomSlack;
    anchorKey = 0;
    relayout();
}

void ChatFeedList::scheduleRelayout()
{
    if (relayoutPosted)
        return;
    relayoutPosted = true;
    QMetaObject::invokeMethod(this, &ChatFeedList::relayout, Qt::QueuedConnection);
}

int ChatFeedList::anchorPosition() const
{
    if (anchorKey == 0)
        return -1;
    if (anchorIndex >= 0 && anchorIndex < items.size() && items.at(anchorIndex).key == anchorKey)
        return anchorIndex;
    return indexOf(anchorKey);
}

void ChatFeedList::endBatch()
{
    if (--batchDepth == 0 && batchDirty) {
        batchDirty = false;
        relayout();
    }
}

void ChatFeedList::layOutTops()
{
    int y = dirtyFrom > 0 ? tops.at(dirtyFrom - 1) + qMax(0, items.at(dirtyFrom - 1).height) + spacing : margin;
    for (int i = dirtyFrom; i < items.size(); ++i) {
        tops[i] = y;
        y += qMax(0, items.at(i).height) + spacing;
    }
    dirtyFrom = int(items.size());
}

void ChatFeedList::renew(quint64 key)
{
    const int index = indexOf(key);
    if (index < 0)
        return;
    captureAnchor();
    if (items.at(index).kind != Kind::Widget && items.at(index).widget)
        release(index);
    items[index].measuredWidth = -1;
    relayout();
}

void ChatFeedList::relayout()
{
    if (batchDepth > 0) {
        batchDirty = true;
        return;
    }
    if (busy) {
        again = true;
        return;
    }
    busy = true;
    relayoutPosted = false;

    // Persistent widgets deleted behind the list's back leave their place.
    for (int i = int(items.size()) - 1; widgetItems > 0 && i >= 0; --i) {
        if (items.at(i).kind == Kind::Widget && !items.at(i).widget) {
            --widgetItems;
            items.removeAt(i);
            tops.removeAt(i);
            if (i < liveBegin)
                --liveBegin;
            if (i < liveEnd)
                --liveEnd;
            dirtyFrom = qMin(dirtyFrom, i);
        }
    }
    liveBegin = qBound(0, liveBegin, int(items.size()));
    liveEnd = qBound(liveBegin, liveEnd, int(items.size()));

    const int viewWidth = qMax(1, area->viewport()->width());
    const int viewHeight = viewportHeight();
    layoutWidth = viewWidth;
    QScrollBar *bar = area->verticalScrollBar();
    const int reach = qMax(viewHeight / 2, kMinimumMargin);

    int begin = 0;
    int end = 0;
    int value = 0;
    int total = 2 * margin;
    for (int pass = 0; pass < 8; ++pass) {
        layOutTops();
        const int last = int(items.size()) - 1;
        total = items.isEmpty() ? 2 * margin : tops.at(last) + qMax(0, items.at(last).height) + margin;
        const int maxValue = qMax(0, total - viewHeight);
        if (following) {
            value = maxValue;
        } else if (anchorPosition() >= 0) {
            value = tops.at(anchorPosition()) - anchorOffset;
        } else {
            value = bar->value();
        }
        value = qBound(0, value, maxValue);

        const int low = value - reach;
        const int high = value + viewHeight + reach;
        const auto firstIt = std::partition_point(tops.cbegin(), tops.cend(), [&](const int &top) {
            const int i = int(&top - tops.constData());
            return top + qMax(0, items.at(i).height) <= low;
        });
        const auto endIt = std::partition_point(firstIt, tops.cend(), [&](const int &top) { return top < high; });
        begin = int(firstIt - tops.cbegin());
        end = int(endIt - tops.cbegin());

        bool changed = false;
        for (int i = begin; i < end; ++i) {
            Item &item = items[i];
            if (!item.widget) {
                if (item.kind == Kind::Widget)
                    continue;
                materialize(i);
            } else if (item.measuredWidth == viewWidth) {
                continue;
            }
            const int height = measure(item.widget, viewWidth);
            item.measuredWidth = viewWidth;
            if (height != item.height) {
                item.height = height;
                dirtyFrom = qMin(dirtyFrom, i);
                changed = true;
            }
        }
        if (!changed)
            break;
    }

    for (int i = liveBegin; i < liveEnd; ++i) {
        if (i >= begin && i < end)
            continue;
        if (items.at(i).kind == Kind::Widget) {
            if (items.at(i).widget)
                items.at(i).widget->hide();
        } else {
            release(i);
        }
    }
    liveBegin = begin;
    liveEnd = end;

    programmatic = true;
    const int shift = qMax(0, viewHeight - total);
    resize(viewWidth, qMax(total, viewHeight));
    for (int i = begin; i < end; ++i) {
        QWidget *widget = items.at(i).widget;
        if (!widget)
            continue;
        const int w = qMin(viewWidth, widget->maximumWidth());
        widget->setGeometry(0, shift + tops.at(i), w, qMax(0, items.at(i).height));
        if (widget->isHidden())
            widget->show();
    }
    bar->setValue(value);
    programmatic = false;
    anchorKey = 0;
    anchorIndex = -1;
    busy = false;
    if (again) {
        again = false;
        relayout();
    }
}

bool ChatFeedList::event(QEvent *event)
{
    if (event->type() == QEvent::LayoutRequest) {
        // A live widget's size hint changed (a spoiler opened, a card failed, a message
        // was hidden): measure the live ones again, keeping the view where it is.
        captureAnchor();
        bool changed = false;
        for (int i = liveBegin; i < liveEnd && i < items.size(); ++i) {
            QWidget *widget = items.at(i).widget;
            if (!widget)
                continue;
            const int height = measure(widget, layoutWidth);
            if (height != items.at(i).height) {
                items[i].height = height;
                items[i].measuredWidth = layoutWidth;
                dirtyFrom = qMin(dirtyFrom, i);
                changed = true;
            }
        }
        if (changed)
            relayout();
        else
            anchorKey = 0;
        return true;
    }
    return QWidget::event(event);
}

bool ChatFeedList::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == area->viewport() && event->type() == QEvent::Resize)
        scheduleRelayout();
    return QWidget::eventFilter(watched, event);
}
