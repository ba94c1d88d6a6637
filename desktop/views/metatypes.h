#pragma once

// Registers the name of every value type that crosses threads in a queued connection.
// Runs before any window or view model exists.
void registerVaultdeskMetaTypes();
