// Conversion of a level detector's linear levels into the dB readouts of its
// snapshot.
#pragma once

namespace b2 {

struct LevelDetector;

constexpr float kReadoutFloor = 1e-14f;  // silence reads -280 dB

// Fills the six dB fields of the detector's snapshot from its levels.
void updateReadouts(LevelDetector& d);

}  // namespace b2
