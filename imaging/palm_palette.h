// The Palm OS system palette and the mapping of colours onto it.
//
// The handheld draws 8-bit pictures through its own 256-colour system
// palette; every palette entry of a picture record carries, in its fourth
// byte, the index of the nearest system colour (docs/bmp_record_format.md).
// Entries 0-214 are the 6x6x6 colour cube without black, starting with white;
// 215-224 ten greys; 225-229 silver, maroon, purple, green and teal; 230-255
// black. Pure functions over a constant table: thread-safe, never fail.
#ifndef WAYFETCH_IMAGING_PALM_PALETTE_H
#define WAYFETCH_IMAGING_PALM_PALETTE_H

#include <array>
#include <cstdint>

namespace wayfetch {

struct PalmColour {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint16_t index = 0;  // the entry's own position
};

// The 256 entries of the system palette.
const std::array<PalmColour, 256>& palm_palette();

// The index of the system colour nearest to (red, green, blue) by squared
// distance; the lowest index among equals. Black gives 230, white 0.
uint8_t palm_index(uint8_t red, uint8_t green, uint8_t blue);

}  // namespace wayfetch

#endif
