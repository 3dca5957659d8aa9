// Re-points the user's "HotSync Manager" start-menu shortcuts at the HotSync Manager program of
// the first-generation HotSync installation.
#pragma once

// Rewrites every "HotSync Manager.lnk" below the start menu as a shortcut to "Hsm11.exe" in the
// HotSync folder, in the folder where it was found. Writes nothing when that program is missing.
void RefreshHotSyncShortcuts();
