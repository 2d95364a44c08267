#include <gtest/gtest.h>

#include "tests/xml/tree_text.h"
#include "xml/xml_parser.h"

namespace wayfetch {
namespace {

using testing::parsed;
using testing::tree_text;

TEST(Smoke, Basic) {
  XmlParser p = parsed("<a x=\"1\" y='2'>hi<b/>there<!-- c --><?pi?></a>");
  EXPECT_EQ(tree_text(p), "[a[@x=1,@y=2,'hi',b[],'there',#!-- c --,#?pi?]]");
  EXPECT_EQ(p.error, 0);
  EXPECT_EQ(p.warning, 0);
}

}  // namespace
}  // namespace wayfetch
