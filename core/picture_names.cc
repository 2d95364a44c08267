#include "core/picture_names.h"

#include <utility>

#include "core/ascii.h"

namespace wayfetch {
namespace {

constexpr std::pair<std::string_view, PictureEnding> endings[] = {
    {"gif", PictureEnding::gif},
    {"jpg", PictureEnding::jpeg},
    {"jpeg", PictureEnding::jpeg},
    {"png", PictureEnding::png},
};

}  // namespace

PictureEnding picture_ending_of(std::string_view name) {
  for (const auto& [ending, kind] : endings) {
    if (ascii::ends_with_ignoring_case(name, ending)) return kind;
  }
  return PictureEnding::none;
}

PictureEnding picture_extension_kind(std::string_view extension) {
  for (const auto& [ending, kind] : endings) {
    if (ascii::equals_ignoring_case(extension, ending)) return kind;
  }
  return PictureEnding::none;
}

}  // namespace wayfetch
