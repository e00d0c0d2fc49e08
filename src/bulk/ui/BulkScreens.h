#pragma once

class EngineContext;

// Registers the bulk sender (FrmMain) and the contact screen (Form3) with
// the screen registry.
void registerBulkScreens(EngineContext& context);
