#pragma once

class EngineContext;

// Registers the bulk sender (BulkSenderWindow) and the contact screen (ContactsWindow) with
// the screen registry.
void registerBulkScreens(EngineContext& context);
