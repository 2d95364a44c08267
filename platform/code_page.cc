#include "platform/code_page.h"

#include <iconv.h>

#include <array>
#include <cerrno>

namespace wayfetch::platform {
namespace {

struct CodePageName {
  int32_t code_page;
  const char* name;
};

// CP932 and not SHIFT_JIS: glibc's SHIFT_JIS maps 81 60, 5C and 7E differently
// from Windows and refuses the NEC row 87 40.
constexpr std::array<CodePageName, 20> code_page_names{{
    {932, "CP932"},          {936, "CP936"},       {950, "CP950"},       {1250, "CP1250"},
    {1251, "CP1251"},        {1252, "CP1252"},     {1253, "CP1253"},     {1254, "CP1254"},
    {1255, "CP1255"},        {1256, "CP1256"},     {1257, "CP1257"},     {1258, "CP1258"},
    {874, "CP874"},          {20105, "ASCII"},     {20127, "ASCII"},     {28591, "ISO-8859-1"},
    {28605, "ISO-8859-15"},  {1200, "UTF-16LE"},   {65001, "UTF-8"},     {54936, "GB18030"},
}};

constexpr char16_t replacement_character = 0xFFFD;

// Windows maps the five bytes that CP1252 leaves undefined to the C1 controls
// of the same value; glibc refuses them.
bool is_cp1252_hole(uint8_t byte) {
  return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

class Converter {
 public:
  Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

 private:
  iconv_t handle_;
};

// Converts with iconv in chunks; `on_bad_input` is called with the input
// position of a byte sequence iconv refuses and returns how many input bytes
// to skip after having appended its substitute to the output itself.
template <typename OutChar, typename OnBad>
void run_iconv(iconv_t cd, const char* in, std::size_t in_left, std::basic_string<OutChar>& out,
               OnBad on_bad_input) {
  std::array<char, 4096> chunk{};
  while (in_left > 0) {
    char* out_ptr = chunk.data();
    std::size_t out_left = chunk.size();
    char* in_ptr = const_cast<char*>(in);
    std::size_t result = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    int saved_errno = errno;
    std::size_t produced = chunk.size() - out_left;
    out.append(reinterpret_cast<const OutChar*>(chunk.data()), produced / sizeof(OutChar));
    in = in_ptr;
    if (result != static_cast<std::size_t>(-1)) break;
    if (saved_errno == E2BIG) continue;
    // EILSEQ (bad sequence) or EINVAL (sequence cut off at the end).
    std::size_t skip = on_bad_input(in, in_left, saved_errno == EINVAL);
    if (skip == 0 || skip > in_left) skip = in_left;
    in += skip;
    in_left -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
}

}  // namespace

const char* iconv_name(int32_t code_page) {
  for (const CodePageName& entry : code_page_names) {
    if (entry.code_page == code_page) return entry.name;
  }
  return nullptr;
}

bool is_double_byte_code_page(int32_t code_page) {
  return code_page == 932 || code_page == 936 || code_page == 950;
}

bool to_utf16(int32_t code_page, const uint8_t* bytes, std::size_t length, std::u16string& out) {
  const char* name = iconv_name(code_page);
  if (name == nullptr) return false;
  if (length == 0) return true;
  Converter cd("UTF-16LE", name);
  if (!cd.ok()) return false;
  const char* in = reinterpret_cast<const char*>(bytes);
  run_iconv(cd.get(), in, length, out, [&](const char* at, std::size_t, bool) -> std::size_t {
    uint8_t byte = static_cast<uint8_t>(*at);
    if (code_page == 1252 && is_cp1252_hole(byte)) {
      out.push_back(static_cast<char16_t>(byte));
    } else {
      out.push_back(replacement_character);
    }
    return 1;
  });
  return true;
}

bool from_utf16(int32_t code_page, const char16_t* units, std::size_t count, std::string& out) {
  const char* name = iconv_name(code_page);
  if (name == nullptr) return false;
  if (count == 0) return true;
  Converter cd(name, "UTF-16LE");
  if (!cd.ok()) return false;
  const char* in = reinterpret_cast<const char*>(units);
  run_iconv(cd.get(), in, count * 2, out, [&](const char* at, std::size_t left, bool) {
    char16_t unit = 0;
    if (left >= 2) {
      unit = static_cast<char16_t>(static_cast<uint8_t>(at[0]) |
                                   (static_cast<uint8_t>(at[1]) << 8));
    }
    if (code_page == 1252 && unit < 0x100 && is_cp1252_hole(static_cast<uint8_t>(unit))) {
      out.push_back(static_cast<char>(unit));
    } else {
      out.push_back('?');
    }
    // A high surrogate followed by a low one that the code page lacks is one
    // character: skip both units.
    if (unit >= 0xD800 && unit <= 0xDBFF && left >= 4) {
      char16_t next = static_cast<char16_t>(static_cast<uint8_t>(at[2]) |
                                            (static_cast<uint8_t>(at[3]) << 8));
      if (next >= 0xDC00 && next <= 0xDFFF) return std::size_t{4};
    }
    return std::size_t{2};
  });
  return true;
}

}  // namespace wayfetch::platform
