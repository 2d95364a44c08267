// UpdateDelivery: what an update asks of the handheld side besides the
// conduit pipe: starting the device tools, merging the handheld log copies
// the conduit returned, and uploading the log.
//
// The program's implementation starts the Windows CE synchronisation
// manager, the EPOC and eBookMan tools and keeps the handheld log; tests
// record the calls. Every call comes from the update's worker thread, one
// at a time; a tool that cannot be started fails silently.
#ifndef WAYFETCH_CONFIG_UPDATE_DELIVERY_H
#define WAYFETCH_CONFIG_UPDATE_DELIVERY_H

#include "core/string.h"
#include "delivery/message_queue.h"
#include "web/web_source.h"

namespace wayfetch {

class UpdateDelivery {
 public:
  virtual ~UpdateDelivery() = default;

  // Asks the Windows CE synchronisation manager to synchronise now.
  virtual void sync_windows_ce() = 0;
  // Starts the EPOC synchronisation tool.
  virtual void start_epoc_tool() = 0;
  // Hands a finished e-book to the eBookMan tool.
  virtual void send_to_ebookman(const String& ebook_path) = 0;
  // Merges the handheld log copies among `messages` (what the conduit sent
  // back during the run) into the handheld log; the messages are consumed.
  virtual void merge_returned_logs(MessageList& messages) = 0;
  // Sends the collected handheld log records to their servers through
  // `source`, the run's connection.
  virtual void upload_log(WebSource& source) = 0;
};

// Does nothing: for runs without handheld tools (the command line without
// a device, tests that do not look).
class NoDelivery : public UpdateDelivery {
 public:
  void sync_windows_ce() override {}
  void start_epoc_tool() override {}
  void send_to_ebookman(const String&) override {}
  void merge_returned_logs(MessageList& messages) override { messages.clear(); }
  void upload_log(WebSource&) override {}
};

}  // namespace wayfetch

#endif
