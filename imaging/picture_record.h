// Picture records: one picture file in, the bytes of one e-book picture
// record out. This is what the e-book writer calls for each distinct picture.
//
// The record is a complete BMP file with an 8-bit palette whose entries carry
// their Palm OS palette index (layout: docs/bmp_record_format.md):
//   GIF        fitted into 220 x 280 pixels at a whole percent, the GIF's own
//              palette (imaging/gif_converter.h);
//   JPEG, PNG  shrunk in 10 % steps until below 62000 pixels, then reduced
//              (median cut) or expanded to 8 bits.
// The decoder is chosen by the file's signature, and by the name's ending
// ("gif", "jpg", "jpeg", "png", any case) when the signature is unknown, so a
// picture saved under the wrong ending still converts.
//
// Conversion never fails: a picture that cannot be opened or decoded gets a
// placeholder record (8 x 8 white pixels, 8 bits), so every record number of
// the book stays valid; `converted` is then false and `message` says why.
// Reentrant; distinct calls may run on distinct threads.
#ifndef WAYFETCH_IMAGING_PICTURE_RECORD_H
#define WAYFETCH_IMAGING_PICTURE_RECORD_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/picture_input.h"
#include "imaging/picture_size.h"

namespace wayfetch {

struct PictureRecord {
  std::vector<uint8_t> bytes;  // a complete BMP file; never empty
  bool converted = false;      // false: `bytes` is the placeholder
  std::string message;         // why not converted; "" when converted
};

enum class PictureKind { unknown, gif, jpeg, png };

// The kind a file name's ending announces (compared without regard to case).
PictureKind picture_kind_of_name(const std::string& name);
// The kind the first bytes of a file announce; unknown when none.
PictureKind picture_kind_of_bytes(const uint8_t* bytes, size_t count);

// The record of the picture file at `picture_path`.
PictureRecord convert_picture(const std::string& picture_path, const PictureLimits& limits = {});
// The record of a picture held in memory; `name` gives the ending to fall
// back on when the bytes have no known signature.
PictureRecord convert_picture_data(const uint8_t* data, size_t size, const std::string& name,
                                   const PictureLimits& limits = {});

// A decoded JPEG or PNG brought to its record: sized by record_size, 8 bits.
// Exposed for tests and tools; throws like the decoders.
Bitmap record_bitmap(PictureInput& input, PictureKind kind, const PictureLimits& limits = {});

// The placeholder record: 8 x 8 white pixels, 8 bits.
std::vector<uint8_t> placeholder_record();

}  // namespace wayfetch

#endif
