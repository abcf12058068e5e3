#pragma once

#include "KalvorServiceProvider.h"

// Created before the first window and kept for the whole run. It owns the service provider: the
// single-instance entry point through which other programs hand files to Kalvor.
class AppDelegate {
public:
    explicit AppDelegate(HandInSlot& handIns);

    KalvorServiceProvider& serviceProvider() { return m_serviceProvider; }

    // Both only fill a missing registration; one made earlier, by anyone, stays.
    void applicationWillFinishLaunching();
    void applicationDidFinishLaunching();
    // Saves nothing (the store has written every change) and stops no running curl.
    void applicationWillTerminate() {}

private:
    void registerServiceProviderIfMissing();

    KalvorServiceProvider m_serviceProvider;
};
