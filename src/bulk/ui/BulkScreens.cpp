#include "bulk/ui/BulkScreens.h"

#include "bulk/ui/BulkSenderWindow.h"
#include "bulk/ui/ContactsWindow.h"
#include "ui/ScreenRegistry.h"

void registerBulkScreens(EngineContext& context)
{
    ScreenRegistry& registry = ScreenRegistry::instance();
    registry.registerScreen(Screens::BulkSender, [&context] { return new BulkSenderWindow(context); });
    registry.registerScreen(Screens::Contacts, [&context] { return new ContactsWindow(context); });
}
