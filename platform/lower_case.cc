#include "platform/lower_case.h"

#include <locale.h>
#include <wctype.h>

namespace wayfetch::platform {
namespace {

// The "C" locale with Unicode character classes, so that wide lower-casing
// covers every script and not only A-Z; plain "C" where it is missing.
locale_t wide_locale() {
  static const locale_t locale = [] {
    locale_t made = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (made == static_cast<locale_t>(nullptr)) {
      made = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
    }
    return made;
  }();
  return locale;
}

}  // namespace

char16_t lower_unit(char16_t unit) {
  if (unit >= 0xD800 && unit <= 0xDFFF) return unit;
  wint_t lowered = towlower_l(static_cast<wint_t>(unit), wide_locale());
  // A lower case outside the basic plane cannot replace one unit.
  if (lowered > 0xFFFF) return unit;
  return static_cast<char16_t>(lowered);
}

}  // namespace wayfetch::platform
