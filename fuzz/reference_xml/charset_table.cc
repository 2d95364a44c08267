#include "fuzz/reference_xml/charset_table.h"

#include <string_view>

namespace wayfetch::reference_xml {
namespace {

struct Charset {
  std::string_view name;
  int32_t code_page;
  TextEncoding encoding;
};

constexpr TextEncoding single = TextEncoding::SingleByte;
constexpr TextEncoding multi = TextEncoding::Multibyte;

constexpr Charset charsets[] = {
    {"x-sjis", 932, multi},
    {"shift_jis", 932, multi},
    {"ms_Kanji", 932, multi},
    {"csShiftJIS", 932, multi},
    {"x-ms-cp932", 932, multi},
    {"gb2312", 936, multi},
    {"csGB2312", 936, multi},
    {"csISO58GB231280", 936, multi},
    {"chinese", 936, multi},
    {"iso-ir-58", 936, multi},
    {"GB_2312-80", 936, multi},
    {"big5", 950, multi},
    {"csbig5", 950, multi},
    {"x-x-big5", 950, multi},
    {"iso-8859-1", 1252, single},
    {"iso8859-1", 1252, single},
    {"iso_8859-1", 1252, single},
    {"ANSI_X3.4-1968", 1252, single},
    {"iso-ir-6", 1252, single},
    {"ANSI_X3.4-1986", 1252, single},
    {"ISO_646", 1252, single},
    {"irv:1991", 1252, single},
    {"ISO646-US", 1252, single},
    {"us", 1252, single},
    {"IBM367", 1252, single},
    {"cp367", 1252, single},
    {"csASCII", 1252, single},
    {"latin1", 1252, single},
    {"iso_8859-1:1987", 1252, single},
    {"iso-ir-100", 1252, single},
    {"ibm819", 1252, single},
    {"cp819", 1252, single},
    {"Windows-1252", 1252, single},
    {"us-ascii", 20105, single},
    {"ascii", 20105, single},
};

}  // namespace

bool lookup_charset(const String& name, TextEncoding& encoding, int32_t& code_page) {
  for (const Charset& charset : charsets) {
    String known(charset.name);
    if (name.compare(known, false, false) == 0) {
      encoding = charset.encoding;
      code_page = charset.code_page;
      return true;
    }
  }
  return false;
}

}  // namespace wayfetch::reference_xml
