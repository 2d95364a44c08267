// Picture file endings: which names the program takes for GIF, JPEG and PNG
// pictures ("gif", "jpg", "jpeg", "png", any case). The one list of them,
// read by the connector (no refresh is looked for in a picture), the e-book
// converter (which pictures get a record) and the picture decoder (which
// decoder a name asks for when the bytes do not tell). Thread-safe.
#ifndef WAYFETCH_CORE_PICTURE_NAMES_H
#define WAYFETCH_CORE_PICTURE_NAMES_H

#include <string_view>

namespace wayfetch {

enum class PictureEnding { none, gif, jpeg, png };

// The ending `name` ends with (no dot needed: "photogif" ends in "gif").
PictureEnding picture_ending_of(std::string_view name);
// The kind of a whole extension ("JPG" is jpeg, "xgif" is none).
PictureEnding picture_extension_kind(std::string_view extension);

}  // namespace wayfetch

#endif
