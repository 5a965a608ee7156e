#pragma once

namespace tolvane {

// Channel mode codes of the sample writer.
inline constexpr int kWriteOneChannel = 1;   // a mono file
inline constexpr int kWriteBothChannels = 3; // a stereo file

} // namespace tolvane
