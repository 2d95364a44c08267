#include "app/log_records.h"

#include "core/file.h"
#include "core/string.h"

namespace wayfetch {

std::string log_records(const std::string& path) {
  File file;
  String text;
  if (!file.open(path, File::read_existing) || !text.read_file(file, String())) return "";
  const std::string records = text.to_utf8();
  std::string lines;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (records[i] == '\r' && i + 1 < records.size() && records[i + 1] == '\n') continue;
    lines.push_back(records[i]);
  }
  return lines;
}

}  // namespace wayfetch
