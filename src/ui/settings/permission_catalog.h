#pragma once

#include <cstddef>

// One permission as the roles page offers it: its key and its display label (UTF-8).
struct PermissionDef
{
    const char *key;
    const char *label;
};

// A titled group of permissions; the tables are constant and live for the whole program.
struct PermissionGroup
{
    const char *label;
    const PermissionDef *defs;
    std::size_t count;
};

// Room permissions, in display order.
extern const PermissionGroup kRoomPermissionGroups[];
extern const int kRoomPermissionGroupCount;
// Room permissions that only the owner holds; no role can be given them.
extern const PermissionDef kRoomOwnerOnlyPermissions[];
extern const int kRoomOwnerOnlyPermissionCount;
extern const char *const kRoomOwnerNote;

// Channel permissions, in display order.
extern const PermissionGroup kChannelPermissionGroups[];
extern const int kChannelPermissionGroupCount;
extern const PermissionDef kChannelOwnerOnlyPermissions[];
extern const int kChannelOwnerOnlyPermissionCount;
extern const char *const kChannelOwnerNote;
