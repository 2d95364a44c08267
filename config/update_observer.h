// UpdateObserver: what a front end (the window, the command line) learns
// from the application core (config/application_core.h) and how it answers.
//
// The core computes everything a front end shows once for all of them: the
// status line by string identifier, with an eNews or a time; the progress
// range and position; the texts of the time and size estimates (each
// handed over only when it changed); whether an update runs (Update now and
// Update all are disabled and Stop is enabled while it does); the time of
// the last synchronisation; and when the eNews list changed so that a tree
// showing it must be filled again. Questions and messages go through the
// observer's Prompts (config/prompts.h).
//
// Threads: during an update every call arrives on the update's worker
// thread; the estimates shown at other times arrive on the thread that asked
// for them (ApplicationCore::show_estimates). A front end with a window
// marshals the calls to its own thread; none may block for long, except the
// prompts, which wait for their answer. store_selection is called on the
// thread that starts an update, before the update's worker starts.
// Every operation has an empty default but prompts().
#ifndef WAYFETCH_CONFIG_UPDATE_OBSERVER_H
#define WAYFETCH_CONFIG_UPDATE_OBSERVER_H

#include <cstdint>
#include <optional>
#include <string>

#include "config/prompts.h"
#include "core/string.h"
#include "web/timestamp.h"

namespace wayfetch {

// One status line: a string of core/string_table.h, alone, with an eNews, or
// with a time.
struct StatusLine {
  enum class Kind : int32_t { plain, with_enews, with_time };

  int32_t id = 0;
  Kind kind = Kind::plain;
  String title;         // with_enews: the eNews's title
  int32_t files = 0;    // with_enews: the files it downloaded in this run
  int64_t seconds = 0;  // with_time

  static StatusLine plain_line(int32_t id);
  static StatusLine enews_line(int32_t id, const String& title, int32_t files);
  static StatusLine time_line(int32_t id, int64_t seconds);

  // The line as the window writes it, UTF-8: the string; the string, " (",
  // the title, ",", the files and ")"; the string, the minutes, " min " and
  // the seconds ("Update endet in 3 min 20").
  std::string text() const;
};

class UpdateObserver {
 public:
  virtual ~UpdateObserver() = default;

  virtual void status(const StatusLine& line) { (void)line; }
  // The range of the progress bar (the files the update expects) and its
  // position (the files downloaded so far).
  virtual void progress_range(int32_t files) { (void)files; }
  virtual void progress_position(int32_t position) { (void)position; }
  // The time estimate: the label (string 10166, or 10165 when nothing is
  // due) and the time as "m:s" ("" with 10165). Only when either changed.
  virtual void time_estimate(int32_t label_id, const std::string& time) {
    (void)label_id;
    (void)time;
  }
  // The size estimate ("123 KB"); only when the size changed.
  virtual void size_estimate(const std::string& size) { (void)size; }
  // An update started (true) or ended (false).
  virtual void update_running(bool running) { (void)running; }
  // The time of the last synchronisation (UTC); nullopt when none is known.
  virtual void last_synchronisation(std::optional<Timestamp> time) { (void)time; }
  // The eNews list changed (templates refreshed): fill the tree again.
  virtual void list_changed() {}
  // Copy the check marks the person set into the eNews list.
  virtual void store_selection() {}

  // Where questions and messages go; must outlive the core.
  virtual Prompts& prompts() = 0;
};

}  // namespace wayfetch

#endif
