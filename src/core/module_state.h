// The module's global state as it is right after the module is loaded.
#pragma once

// Clears every module-level record (settings, key record, adapter location,
// Windows class, window position), as a fresh load of the module would. For
// tests and tools that run several independent runs in one process.
void ResetModuleState();
