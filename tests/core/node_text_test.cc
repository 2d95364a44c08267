#include "core/node_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace wayfetch {
namespace {

NodeText node_text(std::string_view bytes, TextEncoding encoding = TextEncoding::SingleByte,
                   int32_t code_page = -1) {
  NodeText text;
  text.set_text(bytes, encoding, code_page);
  return text;
}

// Texts on both sides of the inline limit, copied, moved, set from their
// own bytes and converted: the bytes and labels always travel whole.
TEST(NodeTextTest, BytesAndLabelsSurviveEveryCopy) {
  for (const std::string& bytes :
       {std::string(), std::string("a"), std::string("eleven byte"), std::string("twelve bytes"),
        std::string(5000, 'x')}) {
    SCOPED_TRACE(bytes.size());
    NodeText original = node_text(bytes, TextEncoding::Multibyte, 932);
    original.set_context(7);
    NodeText copy(original);
    NodeText assigned;
    assigned = copy;
    NodeText moved(std::move(copy));
    for (const NodeText* text : {&original, &assigned, &moved}) {
      EXPECT_EQ(text->window_bytes(), bytes);
      EXPECT_EQ(text->encoding(), TextEncoding::Multibyte);
      EXPECT_EQ(text->code_page(), 932);
      EXPECT_EQ(text->context(), 7);
    }
    // Setting a text from a part of itself.
    original.set_text(original.window_bytes().substr(bytes.size() / 2), TextEncoding::SingleByte,
                      1252);
    EXPECT_EQ(original.window_bytes(), bytes.substr(bytes.size() / 2));
    EXPECT_EQ(original.context(), 7);
    // A String made from it is what String::assign would make.
    String converted = moved;
    EXPECT_EQ(converted.window_bytes(), bytes);
    EXPECT_EQ(converted.context(), 7);
    EXPECT_EQ(converted.cursor(), -1);
    EXPECT_EQ(converted.char_width(), 1);
  }
}

TEST(NodeTextTest, AssignTakesTheWindowAndAnInvalidEncodingStaysInvalid) {
  String source("<title>Harbour</title>");
  source.select_bytes(7, 14);
  source.set_context(3);
  NodeText text;
  text = source;
  EXPECT_EQ(text.window_bytes(), "Harbour");
  EXPECT_EQ(text.context(), 3);
  NodeText odd = node_text("x", static_cast<TextEncoding>(258), 0);
  EXPECT_EQ(static_cast<int32_t>(odd.encoding()), 0);
}

// Comparisons give what the same comparison of a String gives.
TEST(NodeTextTest, ComparesAsStringDoes) {
  const char* words[] = {"", "a", "A", "ab", "href", "HREF", "hreflang", "content", "raw-text"};
  for (const char* mine : words) {
    for (const char* theirs : words) {
      SCOPED_TRACE(std::string(mine) + " / " + theirs);
      String as_string(mine);
      NodeText text = node_text(mine);
      String other(theirs);
      for (bool prefix : {false, true}) {
        for (bool case_sensitive : {false, true}) {
          EXPECT_EQ(text.compare(other, prefix, case_sensitive),
                    as_string.compare(other, prefix, case_sensitive));
        }
      }
      EXPECT_EQ(text.equals(theirs), as_string.equals(theirs));
      EXPECT_EQ(text.starts_with(theirs), as_string.starts_with(theirs));
    }
  }
  EXPECT_TRUE(node_text(" \t\r\n").is_blank());
  EXPECT_FALSE(node_text(" x ").is_blank());
  NodeText wide = node_text(std::string_view("H\0I\0", 4), TextEncoding::Unicode, 1200);
  EXPECT_TRUE(wide.equals("hi"));
  NodeText upper = node_text("DIV Über");
  upper.lower_case();
  EXPECT_EQ(upper.window_bytes().substr(0, 4), "div ");
}

}  // namespace
}  // namespace wayfetch
