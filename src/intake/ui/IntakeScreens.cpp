#include "intake/ui/IntakeScreens.h"

#include "intake/ui/SingleMessageWindow.h"
#include "ui/ScreenRegistry.h"

void registerIntakeScreens(EngineContext& context)
{
    ScreenRegistry::instance().registerScreen(
        Screens::SingleMessage, [&context]() -> QWidget* { return new SingleMessageWindow(context); });
}
