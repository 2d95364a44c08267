// NonInteractivePrompts: the prompts of a run without a window (the server,
// the timer, the command line). Nobody can answer, so every operation
// answers at once and writes to its stream (standard error by default), in
// UTF-8, what was shown and what it answered in the user's place:
//   messages and notices    "Lorvane Wayfetch: <text>" (a notice unticked);
//   the yes/no question     answered No, not remembered (asked again next time);
//   the plain Ja/Nein       answered No;
//   the credentials dialog  cancelled, so a proxy that keeps asking ends each
//                           request with its status instead of looping;
//   the new-version dialog  "Später daran erinnern.", with the offered version.
// Credentials are never written, not even the prefilled user name.
//
// Thread-safe: each prompt writes its lines as one piece. The stream must
// outlive the object.
#ifndef WAYFETCH_CONFIG_NON_INTERACTIVE_PROMPTS_H
#define WAYFETCH_CONFIG_NON_INTERACTIVE_PROMPTS_H

#include <iostream>
#include <mutex>
#include <string>
#include <string_view>

#include "config/prompts.h"

namespace wayfetch {

class NonInteractivePrompts : public Prompts {
 public:
  explicit NonInteractivePrompts(std::ostream& out = std::cerr) : out_(out) {}

  void message(int32_t text_id, PromptIcon icon) override;
  void message_with_text(int32_t text_id, const String& appended, PromptIcon icon) override;
  QuestionAnswer question(int32_t text_id) override;
  bool yes_no(int32_t text_id) override;
  bool credentials(ProxyCredentials& credentials) override;
  NewVersionChoice new_version(const String& offered) override;
  bool notice(int32_t text_id) override;

 private:
  // "Lorvane Wayfetch: " + `text`, then `note` on a line of its own when
  // not empty.
  void write(std::string_view text, std::string_view note);

  std::mutex mutex_;
  std::ostream& out_;
};

}  // namespace wayfetch

#endif
