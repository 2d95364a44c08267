// A Prompts that records every call as a line of text and answers from a
// script the test fills in; unscripted questions answer No, credentials
// Cancel and the new-version dialog "later". Thread-safe.
#ifndef WAYFETCH_TESTS_CONFIG_SCRIPTED_PROMPTS_H
#define WAYFETCH_TESTS_CONFIG_SCRIPTED_PROMPTS_H

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "config/prompts.h"

namespace wayfetch::testing {

class ScriptedPrompts : public Prompts {
 public:
  // Lines such as "message 10144/2", "question 10131",
  // "credentials anne/secret" (the prefilled fields), "new-version 3.3.0".
  std::vector<std::string> calls() const {
    std::lock_guard hold(mutex_);
    return calls_;
  }
  void clear() {
    std::lock_guard hold(mutex_);
    calls_.clear();
  }

  void answer_question(QuestionAnswer answer) { questions_.push_back(answer); }
  // nullopt: Cancel.
  void answer_credentials(std::optional<ProxyCredentials> answer) {
    credentials_.push_back(std::move(answer));
  }
  void answer_new_version(NewVersionChoice choice) { versions_.push_back(choice); }

  // Icons are recorded by number: "message 10144/2" is the stop icon.
  void message(int32_t text_id, PromptIcon icon) override {
    record("message " + std::to_string(text_id) + "/" + std::to_string(static_cast<int>(icon)));
  }
  void message_with_text(int32_t text_id, const String& appended, PromptIcon icon) override {
    record("message " + std::to_string(text_id) + appended.to_utf8() + "/" +
           std::to_string(static_cast<int>(icon)));
  }
  QuestionAnswer question(int32_t text_id) override {
    record("question " + std::to_string(text_id));
    return next(questions_, QuestionAnswer{});
  }
  bool credentials(ProxyCredentials& fields) override {
    record("credentials " + fields.user_name.to_utf8() + "/" + fields.password.to_utf8());
    std::optional<ProxyCredentials> answer = next(credentials_, std::optional<ProxyCredentials>());
    if (answer) fields = *answer;
    return answer.has_value();
  }
  NewVersionChoice new_version(const String& offered) override {
    record("new-version " + offered.to_utf8());
    return next(versions_, NewVersionChoice::remind_later);
  }
  bool notice(int32_t text_id) override {
    record("notice " + std::to_string(text_id));
    return false;
  }

 private:
  void record(std::string line) {
    std::lock_guard hold(mutex_);
    calls_.push_back(std::move(line));
  }
  template <typename T>
  T next(std::deque<T>& script, T otherwise) {
    std::lock_guard hold(mutex_);
    if (script.empty()) return otherwise;
    T answer = std::move(script.front());
    script.pop_front();
    return answer;
  }

  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
  std::deque<QuestionAnswer> questions_;
  std::deque<std::optional<ProxyCredentials>> credentials_;
  std::deque<NewVersionChoice> versions_;
};

}  // namespace wayfetch::testing

#endif
