#pragma once

namespace tolvane {

// The sensitivity box's key, which "&Redo" takes over while several undo levels are kept.
inline constexpr const char* kShowSensitivityShortcut = "Ctrl+Y";

} // namespace tolvane
