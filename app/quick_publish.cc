#include "app/quick_publish.h"

#include <filesystem>
#include <system_error>

#include "platform/file_system.h"

namespace wayfetch {

int run_quick_publish(const std::string& source, const std::string& target, std::FILE* out,
                      std::FILE* err, std::function<bool()> stop) {
  PagePublishOptions options;
  const bool progress = platform::is_terminal(out);
  options.converter_progress = progress ? out : nullptr;
  options.stop = std::move(stop);
  const PagePublishOutcome outcome = publish_page(source, target, options);
  switch (outcome.result) {
    case PagePublishResult::missing_source:
      std::fprintf(err, "wayfetch: the source file '%s' does not exist\n", source.c_str());
      return exit_failure;
    case PagePublishResult::not_a_file:
      std::fprintf(err, "wayfetch: the source '%s' is not a file\n", source.c_str());
      return exit_failure;
    case PagePublishResult::not_publishable:
      std::fprintf(err,
                   "wayfetch: cannot publish '%s': only HTML (.htm, .html) and text (.txt) files "
                   "can be published\n",
                   source.c_str());
      return exit_failure;
    case PagePublishResult::same_file:
      std::fprintf(err, "wayfetch: cannot publish '%s': the e-book '%s' would replace it\n",
                   source.c_str(), outcome.book.c_str());
      return exit_failure;
    case PagePublishResult::stopped:
      if (progress) std::fputc('\n', out);
      return exit_failure;
    case PagePublishResult::failed:
    case PagePublishResult::published:
      break;
  }
  if (progress) std::fputc('\n', out);
  for (const std::string& warning : outcome.warnings) {
    std::fprintf(err, "wayfetch: warning: %s\n", warning.c_str());
  }
  if (outcome.result == PagePublishResult::failed) {
    std::fprintf(err, "wayfetch: publishing '%s' failed: %s\n", source.c_str(),
                 outcome.failure.c_str());
    return exit_failure;
  }
  std::error_code error;
  const auto size = std::filesystem::file_size(outcome.book, error);
  std::fprintf(out, "%s (%llu bytes)\n", outcome.book.c_str(),
               static_cast<unsigned long long>(error ? 0 : size));
  return exit_success;
}

}  // namespace wayfetch
