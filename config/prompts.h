// Prompts: what the update asks or tells a person, supplied by a front end.
//
// The core never shows anything itself: the connection policy, the update
// job and the start-up hand their messages and questions to a Prompts object
// by the string-table identifiers of core/string_table.h, and take its
// answer. The window implements it with dialogs captioned with string 10133;
// NonInteractivePrompts (config/non_interactive_prompts.h) answers at once
// for runs without a window. Each operation returns only when it has an
// answer; a front end that is shutting down answers Cancel, No or "later",
// never leaves a caller waiting for ever.
//
// Thread safety: operations may be called from the update's worker thread
// (and from any thread that reacts to a web error); an implementation
// serialises them or hands them to its own thread. Texts are UTF-8 Strings.
#ifndef WAYFETCH_CONFIG_PROMPTS_H
#define WAYFETCH_CONFIG_PROMPTS_H

#include <cstdint>

#include "core/string.h"

namespace wayfetch {

enum class PromptIcon : int32_t { information = 0, warning = 1, stop = 2, question = 3 };

// The yes/no question with "Diese Frage nicht mehr stellen".
struct QuestionAnswer {
  bool yes = false;
  bool remember = false;  // the box was ticked: store the answer, ask no more
};

// The fields of the credentials dialog. The password stays in memory: it is
// never written to a file, the log or a terminal.
struct ProxyCredentials {
  String user_name;
  String password;
};

// The buttons of the new-version dialog.
enum class NewVersionChoice : int32_t {
  connect_and_check = 0,      // "Verbinden und Prüfen": open the offered address
  wait_for_next_version = 1,  // "Auf die nächste Version warten"
  remind_later = 2,           // "Später daran erinnern."
};

class Prompts {
 public:
  virtual ~Prompts() = default;

  // A message box showing string `text_id`.
  virtual void message(int32_t text_id, PromptIcon icon) = 0;
  // The same with `appended` after the string (10168 and the titles of the
  // eNews that had problems).
  virtual void message_with_text(int32_t text_id, const String& appended, PromptIcon icon) = 0;
  // String `text_id` as a question with "Ja", "Nein" and the box for not
  // asking again.
  virtual QuestionAnswer question(int32_t text_id) = 0;
  // String `text_id` as a plain question with "Ja" and "Nein" (10146, whether
  // to convert an earlier installation); true for Ja. A front end that has
  // no such question answers No, which changes nothing.
  virtual bool yes_no(int32_t /*text_id*/) { return false; }
  // The credentials dialog (title 10133, text 10143), prefilled with
  // `credentials`; true on OK with the fields as entered, false on Cancel
  // (`credentials` then unchanged).
  virtual bool credentials(ProxyCredentials& credentials) = 0;
  // The new-version dialog showing `offered` in its read-only field.
  virtual NewVersionChoice new_version(const String& offered) = 0;
  // String `text_id` as a notice with "Diese Nachricht nicht mehr zeigen";
  // true when the box was ticked.
  virtual bool notice(int32_t text_id) = 0;
};

}  // namespace wayfetch

#endif
