// The BMP writer: a Bitmap as the bytes of a Windows bitmap file, the content
// of one picture record. Layout in docs/bmp_record_format.md.
//
// Stateless functions; thread-safe. Allocation failure throws std::bad_alloc.
#ifndef WAYFETCH_IMAGING_BMP_WRITER_H
#define WAYFETCH_IMAGING_BMP_WRITER_H

#include <cstdint>
#include <vector>

#include "imaging/bitmap.h"

namespace wayfetch {

class File;

// The Palm index of each palette entry of `bitmap` (empty for 24 bits).
std::vector<uint8_t> palm_indices_of(const Bitmap& bitmap);

// Appends a BMP file of `bitmap` to `out`: file header, 40-byte information
// header, the palette as blue, green, red and the entry's `palm_indices` byte
// (0 where the list is short), then the rows bottom-up, each padded to 4
// bytes. `with_image_size` stores the pixel byte count in the information
// header (GIF records do); otherwise that field is 0 like the other optional
// ones. Returns 0; 1 and nothing written for a bit count a BMP cannot hold.
int write_bmp(std::vector<uint8_t>& out, const Bitmap& bitmap,
              const std::vector<uint8_t>& palm_indices, bool with_image_size = false);
// The same bytes written at the current position of the open `file` (a
// record file). Returns 0; 1 and nothing written for a bit count a BMP
// cannot hold; 2 when the file took fewer bytes than written.
int write_bmp(File& file, const Bitmap& bitmap, const std::vector<uint8_t>& palm_indices,
              bool with_image_size = false);

}  // namespace wayfetch

#endif
