// VersionOffer: what the new-version server offers, read from its reply
// (docs/connection_policy.md).
//
// The reply is a small XML document; its first "version" element, at any
// depth, holds the offer: attributes "major", "minor" and "rebuild" (each a
// decimal number of 0 to 4294967295, all three required), "url" (where the
// new version is described) and its text, the version's display name. A
// reply that does not parse, has no such element, or holds a number that is
// missing, not decimal or larger than 32 bits is unreadable: it must never
// turn into a wrapped number that hides later offers.
//
// Plain values and pure functions; thread-safe.
#ifndef WAYFETCH_CONFIG_VERSION_OFFER_H
#define WAYFETCH_CONFIG_VERSION_OFFER_H

#include <compare>
#include <cstdint>

#include "config/global_settings.h"
#include "core/file.h"
#include "core/string.h"

namespace wayfetch {

// A version as compared: unsigned major, then minor, then rebuild.
struct VersionNumber {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t rebuild = 0;

  auto operator<=>(const VersionNumber&) const = default;
  static VersionNumber of(const VersionRecord& record) {
    return {record.major, record.minor, record.rebuild};
  }
};

struct VersionOffer {
  // Replies are tiny; anything larger is not one.
  static constexpr int64_t max_reply_size = int64_t{1} << 20;

  VersionNumber number;
  String text;  // the display name; may be empty
  String url;   // may be empty

  // Reads the reply in `file` (from its start). False when it is unreadable.
  bool read(File& file);
  // What the dialog shows: the display name, else "major.minor.rebuild".
  String display() const;
};

}  // namespace wayfetch

#endif
