// Publishing one local page as an e-book: what the command line's
// "--publish" and the window's Quick publish dialog both do. The page (an
// HTML or text file) becomes a package without a title (the title is the
// file's name) and is published compressed and with the notice page, with
// its pictures made by BitmapPictureSource.
//
// The book's name is the target with the extension ".prc" in place of its
// own (quick_publish_target). The page is never overwritten: a book that
// would be the page itself (the same device and inode, through a link say)
// is refused. The publisher writes under a temporary name and renames only a
// complete book, so a failed or stopped publish leaves an existing book as
// it was.
//
// publish_page may run on any thread; one publish per call, no shared state.
// `progress` and the stop check are called on the publishing thread.
#ifndef WAYFETCH_EBOOK_PAGE_PUBLISHING_H
#define WAYFETCH_EBOOK_PAGE_PUBLISHING_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "ebook/ebook_publisher.h"

namespace wayfetch {

// The e-book path for `source` and the optional `target` ("" when not given):
// the target, or the source when none, with the extension ".prc" in place
// of its own; a target that is an existing folder receives the source's name.
std::string quick_publish_target(const std::string& source, const std::string& target);

enum class PagePublishResult : int32_t {
  published,
  missing_source,   // the page does not exist
  not_a_file,       // the page is a folder or another kind of file
  not_publishable,  // neither HTML (.htm, .html) nor text (.txt) by its name
  same_file,        // the book would be the page itself
  stopped,          // the stop check answered true; nothing left behind
  failed,           // the publisher failed; `failure` says why
};

struct PagePublishOutcome {
  PagePublishResult result = PagePublishResult::failed;
  std::string book;                   // the book's absolute path, once known
  std::string failure;                // the publisher's texts, "" unless failed
  std::vector<std::string> warnings;  // English notes on pictures left out or replaced
};

struct PagePublishOptions {
  PublishProgress* progress = nullptr;      // may be null
  std::FILE* converter_progress = nullptr;  // the converter's "\r..." lines, or none
  std::function<bool()> stop;               // may be empty
};

// Publishes `source` into quick_publish_target(source, target).
PagePublishOutcome publish_page(const std::string& source, const std::string& target,
                                const PagePublishOptions& options);

}  // namespace wayfetch

#endif
