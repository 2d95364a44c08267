#include "app/quick_publish.h"

#include <filesystem>
#include <system_error>

#include "core/ascii.h"
#include "ebook/bitmap_pictures.h"
#include "ebook/ebook_package.h"
#include "ebook/ebook_publisher.h"
#include "platform/file_system.h"

namespace wayfetch {
namespace {

namespace fs = std::filesystem;

// The page as an absolute path: the book's links and anchors name files by
// their paths, so every path of one book must start from the same place.
std::string absolute_path(const std::string& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) return path;
  return absolute.lexically_normal().string();
}

// "a.html" -> "a.prc", "a" -> "a.prc", ".profile" -> ".profile.prc".
std::string with_prc_extension(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = path.rfind('.');
  if (dot != std::string::npos && dot > name_start) return path.substr(0, dot) + ".prc";
  return path + ".prc";
}

bool is_publishable(const std::string& path) {
  for (const char* ending : {".txt", ".htm", ".html"}) {
    if (ascii::ends_with_ignoring_case(path, ending)) return true;
  }
  return false;
}

// The collected failure texts without the separator after the last one.
std::string failure_text(std::string text) {
  if (text.ends_with(" / ")) text.resize(text.size() - 3);
  return text.empty() ? "unknown failure" : text;
}

}  // namespace

std::string quick_publish_target(const std::string& source, const std::string& target) {
  if (target.empty()) return with_prc_extension(source);
  std::error_code error;
  if (fs::is_directory(target, error)) {
    std::string inside = target;
    if (!inside.ends_with('/')) inside += '/';
    return with_prc_extension(inside + fs::path(source).filename().string());
  }
  return with_prc_extension(target);
}

int run_quick_publish(const std::string& source, const std::string& target, std::FILE* out,
                      std::FILE* err, std::function<bool()> stop) {
  std::error_code error;
  if (!fs::exists(source, error)) {
    std::fprintf(err, "wayfetch: the source file '%s' does not exist\n", source.c_str());
    return exit_failure;
  }
  if (!platform::is_regular_file(source)) {
    std::fprintf(err, "wayfetch: the source '%s' is not a file\n", source.c_str());
    return exit_failure;
  }
  // The publisher would skip a file of another kind and make a book without
  // its content.
  if (!is_publishable(source)) {
    std::fprintf(err,
                 "wayfetch: cannot publish '%s': only HTML (.htm, .html) and text (.txt) files "
                 "can be published\n",
                 source.c_str());
    return exit_failure;
  }
  const std::string page = absolute_path(source);
  const std::string book = absolute_path(quick_publish_target(page, target));

  // A UTF-8 page (byte-order mark or declaration) is written as Windows-1252.
  const EbookPackage package =
      EbookPackage::from_page(page, "", EbookPackage::declared_code_page(page));
  BitmapPictureSource pictures;
  EbookPublisher publisher(package, &pictures);
  const bool progress = platform::is_terminal(out);
  publisher.set_converter_progress(progress ? out : nullptr);
  publisher.set_stop_check(stop);
  const bool published = publisher.publish(book, true, true);
  if (progress) std::fputc('\n', out);
  if (!published && stop && stop()) return exit_failure;

  for (const LeftOutPicture& picture : publisher.references().left_out_pictures()) {
    std::fprintf(err, "wayfetch: warning: picture %s: %s, left out of the book\n",
                 picture.name.c_str(),
                 picture.reason == LeftOutPicture::Reason::web_address
                     ? "a web address (pictures are not downloaded)"
                     : "no such file");
  }
  for (const std::string& note : pictures.notes()) {
    std::fprintf(err, "wayfetch: warning: picture %s (a blank picture stands in its place)\n",
                 note.c_str());
  }
  if (!published) {
    std::fprintf(err, "wayfetch: publishing '%s' failed: %s\n", source.c_str(),
                 failure_text(publisher.error_text()).c_str());
    return exit_failure;
  }
  const auto size = fs::file_size(book, error);
  std::fprintf(out, "%s (%llu bytes)\n", book.c_str(),
               static_cast<unsigned long long>(error ? 0 : size));
  return exit_success;
}

}  // namespace wayfetch
