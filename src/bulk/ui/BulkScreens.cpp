#include "bulk/ui/BulkScreens.h"

#include "bulk/ui/Form3.h"
#include "bulk/ui/FrmMain.h"
#include "ui/ScreenRegistry.h"

void registerBulkScreens(EngineContext& context)
{
    ScreenRegistry& registry = ScreenRegistry::instance();
    registry.registerScreen(Screens::BulkSender, [&context] { return new FrmMain(context); });
    registry.registerScreen(Screens::Contacts, [&context] { return new Form3(context); });
}
