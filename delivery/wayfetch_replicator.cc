// The device tools of the replicator; merging is in log_merge.cc, the
// upload in log_upload.cc.
#include "delivery/wayfetch_replicator.h"

namespace wayfetch {

bool WayfetchReplicator::sync_windows_ce() {
  return start_device_tool(setup_.tools.windows_ce_manager,
                           {std::string(DeviceTools::windows_ce_argument)});
}

bool WayfetchReplicator::start_epoc_tool() {
  return start_device_tool(setup_.tools.epoc_tool, {std::string(DeviceTools::epoc_argument)});
}

bool WayfetchReplicator::send_to_ebookman(const std::string& ebook_path) {
  // The path is an argument of its own: blanks or a leading "-" in it
  // cannot turn into further options or commands.
  return start_device_tool(setup_.tools.ebookman_tool,
                           {std::string(DeviceTools::ebookman_argument), ebook_path});
}

bool WayfetchReplicator::hand_over_ebook(const std::string& ebook_path) {
  if (setup_.device_type != ebookman_device) return false;
  return send_to_ebookman(ebook_path);
}

}  // namespace wayfetch
