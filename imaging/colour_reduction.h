// Colour reduction: bringing any bitmap to the 8 bits a picture record holds.
//
// reduce_colours chooses a palette for the picture by median cut: the
// picture's colours are split into areas, each time cutting the area with the
// most pixels times colour spread along its widest axis (red, green or blue)
// at the median of its pixel count, until there are 256 areas or no area has
// two colours left. Each palette entry is the pixel-weighted mean of its area
// and every pixel takes its area's index, so a picture of up to 256 colours
// keeps them exactly. Palette entries beyond the areas stay black.
//
// reduce_colours needs about 32 bytes of working memory per pixel; records
// have at most 62000 pixels. Stateless functions; thread-safe. Failures throw EGraphicsException
// (the "INTERNAL ERROR - ..." checks guard the cut's own bookkeeping) and EInvalidBitCount for a
// source of the wrong bit count.
#ifndef WAYFETCH_IMAGING_COLOUR_REDUCTION_H
#define WAYFETCH_IMAGING_COLOUR_REDUCTION_H

#include "imaging/bitmap.h"

namespace wayfetch {

// 24-bit `source` to 8-bit `destination` with a palette chosen for it.
// A source of another bit count: EInvalidBitCount.
void reduce_colours(const Bitmap& source, Bitmap& destination);

// 1- or 4-bit `source` to 8-bit `destination`: the palette and the pixel
// indices are copied (an 8-bit source is copied as it is).
// A 24-bit source: EInvalidBitCount.
void expand_to_8_bits(const Bitmap& source, Bitmap& destination);

// Brings `bitmap` to 8 bits in place: 24-bit pictures are reduced, 1- and
// 4-bit ones expanded, 8-bit ones left alone.
void make_8_bits(Bitmap& bitmap);

}  // namespace wayfetch

#endif
