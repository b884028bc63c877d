#include "wiring/room_panel_state.h"

#include "room/room_entity.h"
#include "room/room_entity_store.h"

#include <algorithm>

namespace wiring {

namespace {

const QString kParentTag = QStringLiteral("父房");
const QString kChildTag = QStringLiteral("子房");

QString nameOf(const RoomPanelsInput &input, const QString &userId)
{
    return input.displayName ? input.displayName(userId) : userId;
}

const RoomEntity *findRoom(const RoomPanelsInput &input, const QString &roomId)
{
    return input.store != nullptr && !roomId.isEmpty() ? input.store->find(roomId) : nullptr;
}

bool lessByTitleThenId(const blocks::RoomBlockData &a, const blocks::RoomBlockData &b)
{
    const int byTitle = QString::compare(a.title, b.title, Qt::CaseSensitive);
    if (byTitle != 0)
        return byTitle < 0;
    return QString::compare(a.roomId, b.roomId, Qt::CaseSensitive) < 0;
}

// A temporary room is listed only once it is populated and somebody in it is online.
bool temporaryRoomListed(const RoomPanelsInput &input, const MyRoomEntry &entry)
{
    if (!entry.loaded)
        return false;
    const RoomEntity *room = findRoom(input, entry.roomId);
    if (room == nullptr)
        return false;
    const RoomPublicState &state = room->publicState;
    return std::any_of(state.present.cbegin(), state.present.cend(),
                       [&state](const QString &id) { return !state.disconnected.contains(id); });
}

// The block of the active room itself in the current-room panel.
blocks::RoomBlockData currentRoomBlock(const RoomPanelsInput &input, const RoomEntity *room,
                                       const RoomHierarchy &hierarchy)
{
    blocks::RoomBlockData block;
    block.roomId = input.activeRoomId;
    block.title = room != nullptr ? room->name : QString();
    if (block.title.isEmpty()) {
        const QString owner = room != nullptr ? roomOwnerId(room->publicState.memberRoles) : QString();
        block.title = QStringLiteral("%1的房间").arg(owner.isEmpty() ? QStringLiteral("未知") : nameOf(input, owner));
    }
    if (!hierarchy.children.isEmpty())
        block.tags << kParentTag;
    if (hierarchy.hasParent)
        block.tags << kChildTag;
    block.bold = true;
    block.expanded = true;
    block.draggable = true;

    QStringList present;
    if (room != nullptr) {
        present = room->publicState.present;
        const QStringList ids = sortedIds(present);
        block.members.reserve(ids.size());
        for (const QString &id : ids) {
            const QList<int> dots = currentRoomMemberDots(input, hierarchy.hasParent, room->isSpeechBlocked(id), id);
            block.members.append(buildMemberRow(input, id, room->publicState.disconnected.contains(id), dots));
        }
    }
    block.memberCount = int(block.members.size());
    block.statusDot = roomSpeakingDot(present, hierarchy.hasParent ? input.parentSpeakers : input.ownSpeakers);
    return block;
}

// The one dot of a member of a related room other than the active one in a list panel.
int relatedRoomMemberDot(const RoomPanelsInput &input, const ActiveRoomContext &context, const RoomEntity &room,
                         const QString &userId)
{
    if (room.isSpeechBlocked(userId) || context.broadcastBlocked.value(room.roomId, false))
        return DotBlocked;
    const QStringList &speakers = context.hierarchy.hasParent ? input.parentSpeakers : input.ownSpeakers;
    return speakers.contains(userId) ? DotSpeaking : DotIdle;
}

} // namespace

QString roomOwnerId(const QHash<QString, qint64> &memberRoles)
{
    QString owner;
    for (auto it = memberRoles.cbegin(); it != memberRoles.cend(); ++it) {
        if (it.value() == -1 && (owner.isEmpty() || QString::compare(it.key(), owner, Qt::CaseSensitive) < 0))
            owner = it.key();
    }
    return owner;
}

QStringList sortedIds(const QStringList &ids)
{
    QStringList sorted = ids;
    // QString's operator< compares UTF-16 code units, case-sensitively.
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

int roomSpeakingDot(const QStringList &present, const QStringList &speakers)
{
    if (!speakers.isEmpty()) {
        for (const QString &id : present) {
            if (speakers.contains(id))
                return DotSpeaking;
        }
    }
    return DotIdle;
}

QList<int> currentRoomMemberDots(const RoomPanelsInput &input, bool hasParent, bool speechBlocked,
                                 const QString &userId)
{
    const int ownDot = speechBlocked ? DotBlocked : (input.ownSpeakers.contains(userId) ? DotSpeaking : DotIdle);
    if (!hasParent)
        return {ownDot};
    int parentDot = DotIdle;
    if (speechBlocked || !input.parentBroadcastAllowed)
        parentDot = DotBlocked;
    else if (input.parentSpeakers.contains(userId))
        parentDot = DotSpeaking;
    return {parentDot, ownDot};
}

blocks::MemberRowData buildMemberRow(const RoomPanelsInput &input, const QString &userId, bool disconnected,
                                     const QList<int> &dots)
{
    blocks::MemberRowData row;
    row.userId = userId;
    row.name = nameOf(input, userId);
    if (disconnected)
        row.name += QStringLiteral(" (掉线)");
    row.disconnected = disconnected;
    row.indicators = dots;
    return row;
}

blocks::RoomBlockData buildHierarchyRoomBlock(const RoomPanelsInput &input, const QStringList &roomDotSpeakers,
                                              const RoomNode &node, bool isParent, const QStringList &memberDotSpeakers)
{
    blocks::RoomBlockData block;
    block.roomId = node.roomId;
    block.title = node.name.isEmpty() ? node.roomId : node.name;
    block.tags = QStringList{isParent ? kParentTag : kChildTag};
    block.bold = false;
    block.draggable = true;
    block.expanded = true;
    const QStringList ids = sortedIds(node.present);
    block.members.reserve(ids.size());
    for (const QString &id : ids) {
        int dot = DotIdle;
        if (node.speechBlocked.contains(id) || node.broadcastBlocked)
            dot = DotBlocked;
        else if (memberDotSpeakers.contains(id))
            dot = DotSpeaking;
        block.members.append(buildMemberRow(input, id, node.disconnected.contains(id), {dot}));
    }
    block.memberCount = int(block.members.size());
    block.statusDot = node.broadcastBlocked ? int(DotBlocked) : roomSpeakingDot(node.present, roomDotSpeakers);
    return block;
}

blocks::BlockListData buildCurrentRoomPanelState(const RoomPanelsInput &input)
{
    blocks::BlockListData data;
    data.rowSeparators = true;
    if (input.activeRoomId.isEmpty() || input.store == nullptr) {
        data.emptyText = QStringLiteral("无当前房间");
        return data;
    }

    const RoomEntity *room = findRoom(input, input.activeRoomId);
    const RoomHierarchy hierarchy = buildRoomHierarchy(input.store, input.activeRoomId);

    blocks::BlockSection section;
    if (hierarchy.hasParent) {
        section.rooms.append(
            buildHierarchyRoomBlock(input, input.parentSpeakers, hierarchy.parent, true, input.parentSpeakers));
        section.rooms.append(currentRoomBlock(input, room, hierarchy));
        for (const RoomNode &sibling : hierarchy.siblings)
            section.rooms.append(
                buildHierarchyRoomBlock(input, input.parentSpeakers, sibling, false, input.parentSpeakers));
    } else {
        section.rooms.append(currentRoomBlock(input, room, hierarchy));
        for (const RoomNode &child : hierarchy.children)
            section.rooms.append(buildHierarchyRoomBlock(input, input.ownSpeakers, child, false, input.ownSpeakers));
    }
    // The parent, or the current room without one, stays at the top.
    section.rooms.first().draggable = false;
    data.sections.append(section);
    data.hasContent = true;
    return data;
}

ActiveRoomContext buildActiveRoomContext(const RoomPanelsInput &input)
{
    ActiveRoomContext context;
    if (input.activeRoomId.isEmpty() || input.store == nullptr)
        return context;
    context.hierarchy = buildRoomHierarchy(input.store, input.activeRoomId);
    context.relatedRoomIds = relatedRoomIds(input.store, input.activeRoomId);
    for (const RoomNode &sibling : context.hierarchy.siblings)
        context.broadcastBlocked.insert(sibling.roomId, sibling.broadcastBlocked);
    for (const RoomNode &child : context.hierarchy.children)
        context.broadcastBlocked.insert(child.roomId, child.broadcastBlocked);
    return context;
}

blocks::RoomBlockData buildListRoomBlock(const RoomPanelsInput &input, const ActiveRoomContext &context,
                                         const QString &roomId, const QString &name)
{
    const RoomEntity *room = findRoom(input, roomId);
    blocks::RoomBlockData block;
    block.roomId = roomId;
    block.title = name;
    if (block.title.isEmpty() && room != nullptr)
        block.title = room->name;
    if (block.title.isEmpty())
        block.title = roomId;
    const bool active = !input.activeRoomId.isEmpty() && input.activeRoomId == roomId;
    block.bold = active;
    block.expanded = active;
    block.statusDot = DotNone;
    block.draggable = true;
    if (room == nullptr)
        return block;

    const RoomPublicState &state = room->publicState;
    if (!state.childRoomIds.isEmpty())
        block.tags << kParentTag;
    if (!state.parentRoomId.isEmpty())
        block.tags << kChildTag;

    const bool related = context.relatedRoomIds.contains(roomId);
    const QStringList ids = sortedIds(state.present);
    block.members.reserve(ids.size());
    for (const QString &id : ids) {
        QList<int> dots;
        if (active)
            dots = currentRoomMemberDots(input, context.hierarchy.hasParent, room->isSpeechBlocked(id), id);
        else if (related)
            dots = {relatedRoomMemberDot(input, context, *room, id)};
        block.members.append(buildMemberRow(input, id, state.disconnected.contains(id), dots));
    }
    block.memberCount = int(block.members.size());
    return block;
}

blocks::BlockListData buildMyRoomPanelState(const RoomPanelsInput &input)
{
    blocks::BlockListData data;
    data.emptyText = QStringLiteral("无房间");
    data.rowSeparators = false;
    if (input.store == nullptr)
        return data;

    const ActiveRoomContext context = buildActiveRoomContext(input);
    QList<blocks::RoomBlockData> temporary;
    QList<blocks::RoomBlockData> persistent;
    for (const MyRoomEntry &entry : input.rooms) {
        if (entry.temporary && !temporaryRoomListed(input, entry))
            continue;
        (entry.temporary ? temporary : persistent).append(buildListRoomBlock(input, context, entry.roomId, entry.name));
    }
    std::sort(temporary.begin(), temporary.end(), lessByTitleThenId);
    std::sort(persistent.begin(), persistent.end(), lessByTitleThenId);
    if (!temporary.isEmpty())
        data.sections.append({QStringLiteral("临时房间"), temporary, {}});
    if (!persistent.isEmpty())
        data.sections.append({QStringLiteral("持久房间"), persistent, {}});
    data.hasContent = !data.sections.isEmpty();
    return data;
}

} // namespace wiring
