#pragma once

class EngineContext;

// Registers the intake screens (the single-message screen, SingleMessageWindow) with the
// screen registry; the console opens them by name.
void registerIntakeScreens(EngineContext& context);
