#include "config/update_observer.h"

#include "core/string_table.h"

namespace wayfetch {

StatusLine StatusLine::plain_line(int32_t id) {
  StatusLine line;
  line.id = id;
  return line;
}

StatusLine StatusLine::enews_line(int32_t id, const String& title, int32_t files) {
  StatusLine line;
  line.id = id;
  line.kind = Kind::with_enews;
  line.title = title;
  line.files = files;
  return line;
}

StatusLine StatusLine::time_line(int32_t id, int64_t seconds) {
  StatusLine line;
  line.id = id;
  line.kind = Kind::with_time;
  line.seconds = seconds;
  return line;
}

std::string StatusLine::text() const {
  std::string line(strings::text(id));
  switch (kind) {
    case Kind::plain:
      break;
    case Kind::with_enews:
      line += " (" + title.to_utf8() + "," + std::to_string(files) + ")";
      break;
    case Kind::with_time:
      line += std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60);
      break;
  }
  return line;
}

}  // namespace wayfetch
