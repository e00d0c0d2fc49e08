#include "intake/ui/IntakeScreens.h"

#include "ui/ScreenRegistry.h"
#include "intake/ui/Form1.h"

void registerIntakeScreens(EngineContext& context)
{
    ScreenRegistry::instance().registerScreen(Screens::SingleMessage,
                                              [&context]() -> QWidget* { return new Form1(context); });
}
