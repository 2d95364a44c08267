// Fuzzes address resolution, splitting and link paths on arbitrary text.
// The input is a base and a reference separated by the first line feed.
// Checks that a resolved address is absolute, splits, and resolves to itself;
// that link-path texts stay within their limit; and that a parsed timestamp
// survives its text form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/url_parser.h"
#include "web/link_path.h"
#include "web/timestamp.h"
#include "web/url.h"

using namespace wayfetch;

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t newline = input.find('\n');
  std::string_view base =
      newline == std::string_view::npos ? std::string_view() : input.substr(0, newline);
  std::string_view reference =
      newline == std::string_view::npos ? input : input.substr(newline + 1);

  std::string out;
  if (platform::resolve_url(base, reference, out).ok()) {
    check(!out.empty());
    platform::UrlComponents parts;
    check(platform::crack_url(out, parts).ok());
    check(!parts.scheme.empty());
    std::string again;
    check(platform::resolve_url("", out, again).ok());
    check(again == out);
  }

  String base_text(base);
  String reference_text(reference);
  String absolute;
  if (resolve(base_text, reference_text, absolute)) {
    check(absolute.window_bytes().find('#') == std::string_view::npos);
    UrlParts parts;
    check(split(absolute, parts));
  }
  String name;
  anchor_of(reference_text, name);
  UrlParts parts;
  split(reference_text, parts);

  LinkPath path;
  path.set(base);
  path.set(reference);
  check(path.text().length() <= static_cast<int32_t>(LinkPath::max_text));
  check(path.same_as(path));

  bool ok = false;
  Timestamp t = Timestamp::parse(reference_text, &ok);
  if (ok) check(Timestamp::parse(t.format()) == t);
  return 0;
}
