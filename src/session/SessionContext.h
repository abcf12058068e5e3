#pragma once

class AppNotifications;
class FavoritesManager;
class HandInSlot;
class RemoteTaskPool;

// What every window's flows share, owned by the application object (or by a test) and handed to each window
// through its constructor. All of it outlives the windows.
struct SessionContext {
    FavoritesManager& store;
    RemoteTaskPool& pool;
    AppNotifications& notifications;
    HandInSlot& handIns;
};
