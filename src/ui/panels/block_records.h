#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Plain records in which the composition describes what a block list shows. They are
// values: a widget keeps a copy of the last one and compares each new one with it.
namespace blocks {

struct MemberRowData
{
    QString userId;
    // The shown text; the builders append " (掉线)" for a dropped connection.
    QString name;
    // The connection dropped: the name is drawn faint.
    bool disconnected = false;
    // One dot per entry, top to bottom: 1 idle, 2 speaking, 3 blocked; empty: no dots.
    QList<int> indicators;

    friend bool operator==(const MemberRowData &, const MemberRowData &) = default;
};

struct RoomBlockData
{
    QString roomId;
    QString title;
    // Shown in parentheses behind the title.
    int memberCount = 0;
    // Each becomes a small framed label in the header ("父房", "子房").
    QStringList tags;
    bool bold = false;
    // Header dot: 0 none, 1 idle, 2 speaking, 3 blocked.
    int statusDot = 0;
    // Takes part in the panel's saved order and can be dragged within its section.
    bool draggable = true;
    // The fold state the builder proposes.
    bool expanded = false;
    QList<MemberRowData> members;

    friend bool operator==(const RoomBlockData &, const RoomBlockData &) = default;
};

struct ChannelBlockData
{
    QString channelId;
    QString name;
    bool draggable = true;
    bool expanded = false;
    // The user may drag the channel's room rows into a new order.
    bool roomsReorderable = false;
    QList<RoomBlockData> rooms;

    friend bool operator==(const ChannelBlockData &, const ChannelBlockData &) = default;
};

struct BlockSection
{
    // A section divider with this caption is shown above the blocks when not empty.
    QString caption;
    QList<RoomBlockData> rooms;
    QList<ChannelBlockData> channels;

    friend bool operator==(const BlockSection &, const BlockSection &) = default;
};

struct BlockListData
{
    QList<BlockSection> sections;
    // The placeholder shown when nothing is listed (empty: none).
    QString emptyText;
    // Part of the panel's layout signature only.
    bool hasContent = false;
    // A 1-pixel separator between consecutive blocks of a section.
    bool rowSeparators = false;

    friend bool operator==(const BlockListData &, const BlockListData &) = default;
};

} // namespace blocks
