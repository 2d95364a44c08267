// ReferenceTable: the links, anchors and pictures of a book being written,
// and the patches that fill in their numbers once the text is complete.
//
// While the intermediate text is written, every link leaves ten "X" where
// the reading position of its target goes (filepos="XXXXXXXXXX") and every
// picture five "X" for its record number (recindex="XXXXX"). Anchors note
// the positions links can point to. At the end, resolve_links() pairs each
// link with the last anchor registered for its file and fragment (compared
// without regard to case), and patch() overwrites the placeholders in place.
//
// Fixed capacities: 1023 links, 1023 anchors, 511 picture slots; a full
// table refuses further entries and their tags keep their placeholders.
// Files are kept to 4095 bytes, fragments and names to 511. Not thread-safe.
#ifndef WAYFETCH_EBOOK_REFERENCE_TABLE_H
#define WAYFETCH_EBOOK_REFERENCE_TABLE_H

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace wayfetch {

class IntermediateFile;

struct LinkRecord {
  std::string file;
  std::string fragment;
  int64_t position = 0;  // of the ten placeholder digits
  int32_t anchor = -1;   // the resolved anchor, -1 when none
};

struct AnchorRecord {
  std::string file;
  std::string name;  // "" for the start of a file's body
  int64_t position = 0;
};

struct PictureSlot {
  std::string path;
  int32_t k = -1;           // the picture's number; its record is text records + k
  bool first = false;       // the first slot of this path: its record is written
  int32_t name_length = 0;  // of the file name written in the tag
  int64_t position = 0;     // of the quotation mark that opens the file name
};

// A picture of the page that the book goes without (its tag keeps the
// placeholder), for the caller to tell the user.
struct LeftOutPicture {
  enum class Reason {
    web_address,  // an http:, https: or ftp: address: pages are published offline
    missing,      // a local picture file that does not exist
  };
  std::string name;  // the address, or the resolved path
  Reason reason = Reason::missing;
};

class ReferenceTable {
 public:
  static constexpr int32_t max_links = 1023;
  static constexpr int32_t max_anchors = 1023;
  static constexpr int32_t max_pictures = 511;
  static constexpr std::size_t max_file = 4095;
  static constexpr std::size_t max_name = 511;

  // The placeholders the intermediate text carries.
  static constexpr std::string_view link_placeholder = "XXXXXXXXXX";
  static constexpr std::string_view picture_placeholder = "XXXXX";

  bool links_full() const { return static_cast<int32_t>(links_.size()) >= max_links; }
  bool anchors_full() const { return static_cast<int32_t>(anchors_.size()) >= max_anchors; }
  bool pictures_full() const { return static_cast<int32_t>(pictures_.size()) >= max_pictures; }

  // False (nothing added) when the table is full.
  bool add_link(std::string_view file, std::string_view fragment, int64_t position);
  bool add_anchor(std::string_view file, std::string_view name, int64_t position);
  // Adds a slot for the picture at `path` and returns its k: an earlier
  // slot's k for a path seen before, else the next number (from 1). -1 when
  // the table is full.
  int32_t add_picture(std::string_view path, int32_t name_length, int64_t position);
  // Called with the path of each new distinct picture, as add_picture()
  // takes it (empty: nobody is told).
  void set_new_picture_hook(std::function<void(const std::string& path)> hook) {
    new_picture_ = std::move(hook);
  }

  // Notes a picture left out, once per name (at most max_pictures names).
  void leave_out_picture(std::string_view name, LeftOutPicture::Reason reason);

  void resolve_links();
  // Overwrites the placeholders of resolved links and of picture slots.
  // False when a write fails.
  bool patch(IntermediateFile& file) const;

  const std::vector<LinkRecord>& links() const { return links_; }
  const std::vector<AnchorRecord>& anchors() const { return anchors_; }
  const std::vector<PictureSlot>& pictures() const { return pictures_; }
  const std::vector<LeftOutPicture>& left_out_pictures() const { return left_out_; }
  int32_t distinct_pictures() const { return distinct_pictures_; }

 private:
  std::vector<LinkRecord> links_;
  std::vector<AnchorRecord> anchors_;
  std::vector<PictureSlot> pictures_;
  std::vector<LeftOutPicture> left_out_;
  int32_t distinct_pictures_ = 0;
  std::function<void(const std::string& path)> new_picture_;
};

}  // namespace wayfetch

#endif
