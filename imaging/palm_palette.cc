#include "imaging/palm_palette.h"

namespace wayfetch {

namespace {

std::array<PalmColour, 256> build_palette() {
  std::array<PalmColour, 256> table{};
  for (int i = 0; i < 215; ++i) {
    const int h = i / 108;
    const int j = i % 108;
    table[i].red = static_cast<uint8_t>(255 - 51 * (j / 18));
    table[i].blue = static_cast<uint8_t>(255 - 51 * (3 * h + (j % 18) / 6));
    table[i].green = static_cast<uint8_t>(255 - 51 * (j % 6));
  }
  static constexpr uint8_t greys[10] = {17, 34, 68, 85, 119, 136, 170, 187, 221, 238};
  for (int k = 0; k < 10; ++k) {
    table[215 + k].red = table[215 + k].green = table[215 + k].blue = greys[k];
  }
  static constexpr uint8_t extras[5][3] = {
      {192, 192, 192}, {128, 0, 0}, {128, 0, 128}, {0, 128, 0}, {0, 128, 128}};
  for (int k = 0; k < 5; ++k) {
    table[225 + k].red = extras[k][0];
    table[225 + k].green = extras[k][1];
    table[225 + k].blue = extras[k][2];
  }
  // 230-255 stay black.
  for (int i = 0; i < 256; ++i) table[i].index = static_cast<uint16_t>(i);
  return table;
}

}  // namespace

const std::array<PalmColour, 256>& palm_palette() {
  static const std::array<PalmColour, 256> table = build_palette();
  return table;
}

uint8_t palm_index(uint8_t red, uint8_t green, uint8_t blue) {
  const auto& table = palm_palette();
  int best = 0;
  int best_distance = 3 * 256 * 256;
  for (int i = 0; i < 256; ++i) {
    const int dr = int{table[i].red} - red;
    const int dg = int{table[i].green} - green;
    const int db = int{table[i].blue} - blue;
    const int distance = dr * dr + dg * dg + db * db;
    if (distance == 0) return static_cast<uint8_t>(i);
    // Strictly smaller only, so the lowest index wins among equals.
    if (distance < best_distance) {
      best_distance = distance;
      best = i;
    }
  }
  return static_cast<uint8_t>(best);
}

}  // namespace wayfetch
