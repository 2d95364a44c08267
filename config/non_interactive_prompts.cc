#include "config/non_interactive_prompts.h"

#include "core/string_table.h"

namespace wayfetch {
namespace {

// The table's text, or the identifier when the table has none, so that a
// message never vanishes without a trace.
std::string table_text(int32_t text_id) {
  std::string_view text = strings::text(text_id);
  if (!text.empty()) return std::string(text);
  return "(message " + std::to_string(text_id) + ")";
}

}  // namespace

void NonInteractivePrompts::write(std::string_view text, std::string_view note) {
  std::string piece(strings::text(strings::program_title));
  piece += ": ";
  piece += text;
  piece += '\n';
  if (!note.empty()) {
    piece += "  (";
    piece += note;
    piece += ")\n";
  }
  std::lock_guard hold(mutex_);
  out_ << piece << std::flush;
}

void NonInteractivePrompts::message(int32_t text_id, PromptIcon /*icon*/) {
  write(table_text(text_id), {});
}

void NonInteractivePrompts::message_with_text(int32_t text_id, const String& appended,
                                              PromptIcon /*icon*/) {
  write(table_text(text_id) + appended.to_utf8(), {});
}

QuestionAnswer NonInteractivePrompts::question(int32_t text_id) {
  write(table_text(text_id), "not asked, no one to answer: No, not remembered");
  return QuestionAnswer{};
}

bool NonInteractivePrompts::yes_no(int32_t text_id) {
  write(table_text(text_id), "not asked, no one to answer: No");
  return false;
}

bool NonInteractivePrompts::credentials(ProxyCredentials& /*credentials*/) {
  write(table_text(strings::proxy_credentials), "not asked, no one to answer: cancelled");
  return false;
}

NewVersionChoice NonInteractivePrompts::new_version(const String& offered) {
  std::string text(strings::new_version_offered);
  text += ' ';
  text += offered.to_utf8();
  write(text, std::string("not asked, no one to answer: ") +
                  std::string(strings::new_version_later));
  return NewVersionChoice::remind_later;
}

bool NonInteractivePrompts::notice(int32_t text_id) {
  write(table_text(text_id), {});
  return false;
}

}  // namespace wayfetch
