#include "AppDelegate.h"

void AppDelegate::applicationWillFinishLaunching() {
    registerServiceProviderIfMissing();
}

void AppDelegate::applicationDidFinishLaunching() {
    registerServiceProviderIfMissing();
}

AppDelegate::AppDelegate(HandInSlot& handIns)
    : m_serviceProvider(handIns) {}

void AppDelegate::registerServiceProviderIfMissing() {
    if (!m_serviceProvider.isListening())
        (void)m_serviceProvider.listen();
}
