#pragma once

class EngineContext;

// Registers the intake screens (the single-message screen, Form1) with the
// screen registry; the console opens them by name.
void registerIntakeScreens(EngineContext& context);
