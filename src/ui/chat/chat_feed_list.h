#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QScrollArea;

// The content widget of a feed's scroll area. It holds the feed as a list of light items
// (message rows, dividers, and a few widgets that live on their own such as upload
// cards) and keeps as widgets only the items in or near the viewport: an item's widget is
// made by `createWidget` when it comes near and deleted (deleteLater) when it goes far
// away. Heights are measured once per item and width and kept for the items without a
// widget, so appending, prepending or changing one item costs the same whatever the
// length of the feed; the items between are only shifted. A short feed sits at the bottom.
//
// The view follows the bottom while the user is at the bottom; otherwise the item at the
// top of the viewport keeps its place when items are added or change height above it.
//
// GUI thread only.
class ChatFeedList : public QWidget
{
    Q_OBJECT
public:
    enum class Kind { Row, Divider, Widget };

    struct Item
    {
        Kind kind = Kind::Row;
        quint64 key = 0;          // stable identity
        QString text;             // a divider's text
        QPointer<QWidget> widget; // the widget while it exists
        int height = -1;          // last measured height (an estimate while measuredWidth differs)
        int measuredWidth = -1;
    };

    // `spacing` between items, `margin` above the first and below the last.
    ChatFeedList(QScrollArea *area, int spacing, int margin);

    // Makes the widget of the Row or Divider item at `index`, parented to `parent`.
    std::function<QWidget *(int index, const Item &item, QWidget *parent)> createWidget;
    // Told just before the widget of the Row or Divider item at `index` is released. It is
    // hidden at once; it is deleted later unless this returns true, which means the caller
    // keeps it (hidden, still a child of the list) to show another item with.
    std::function<bool(int index, const Item &item, QWidget *widget)> widgetReleased;
    // A first guess at the height of an item that was never measured.
    std::function<int(const Item &item)> estimateHeight;

    // A fresh key for an item about to be added.
    quint64 newKey() { return nextKey++; }
    // `key` 0 takes a fresh one; returns the item's key.
    quint64 append(Kind kind, const QString &text = {}, QWidget *persistent = nullptr, quint64 key = 0);
    // Items for the top, in display order (keys of 0 get fresh ones).
    void prepend(const QList<Item> &items);
    void remove(quint64 key);
    void removeWidget(QWidget *persistent);
    void clear();
    // The content of the item's widget changed: measure it again.
    void invalidate(quint64 key);
    // The item's widget must be made again (its content is built differently now).
    void renew(quint64 key);
    // Changes between begin and end are laid out once, at the end.
    void beginBatch() { ++batchDepth; }
    void endBatch();

    int count() const { return int(items.size()); }
    const Item &at(int index) const { return items.at(index); }
    int indexOf(quint64 key) const;
    QWidget *widgetOf(quint64 key) const;
    int liveCount() const;

    bool isFollowingBottom() const { return following; }
    // Jumps to the bottom and follows it again (the user's own message, a new upload card).
    void scrollToBottom();
    // Lays out now: measures what came near, positions the live widgets, sets the scroll.
    void relayout();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *materialize(int index);
    void release(int index);
    int measure(QWidget *widget, int width) const;
    void captureAnchor();
    void onScrolled(int value);
    void scheduleRelayout();
    int viewportHeight() const;
    int anchorPosition() const;
    void layOutTops();

    QScrollArea *area = nullptr;
    const int spacing = 0;
    const int margin = 0;
    QList<Item> items;
    QList<int> tops; // top of each item, without the bottom alignment shift
    int dirtyFrom = 0;
    int liveBegin = 0;
    int liveEnd = 0;
    int layoutWidth = -1; // the viewport width of the last layout
    quint64 nextKey = 1;
    bool following = true;
    bool busy = false;
    bool again = false;
    bool relayoutPosted = false;
    bool programmatic = false;
    quint64 anchorKey = 0;
    int anchorIndex = -1; // where anchorKey was; checked before use
    int anchorOffset = 0;
    int widgetItems = 0; // items of Kind::Widget
    int batchDepth = 0;
    bool batchDirty = false;
};

Q_DECLARE_TYPEINFO(ChatFeedList::Item, Q_RELOCATABLE_TYPE);
