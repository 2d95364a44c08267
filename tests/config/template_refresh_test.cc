// The templates of a due eNews are refreshed from their addresses, and only
// a download that is this eNews's description replaces the working one.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/config/update_fixture.h"

namespace wayfetch::testing {
namespace {

namespace fs = std::filesystem;

struct RefreshCase {
  const char* name;
  // What "/enews/tides.enews" answers: a status, or the fixture's
  // description with `from` replaced by `to`.
  int status;
  const char* from;
  const char* to;
  bool nameless;       // subscribed from a description without a name
  bool remove_local;   // the working ".enews" is gone before the run
  bool replaced;       // the working ".enews" is the downloaded one after it
  const char* title;   // the eNews's title after the run
  bool built;
};

const RefreshCase refresh_cases[] = {
    {"FailedDownloadKeepsTheTemplate", 404, "", "", false, false, false, "Tides and Ferries", true},
    {"ForeignDescriptionIsKept", 200, "name=\"tides\"", "name=\"harbour\"", false, false, false,
     "Tides and Ferries", true},
    {"WebDescriptionNamingALocalFileIsRefused", 200, "xsl-rendering=\"http:",
     "xsl-rendering=\"file:", false, false, false, "Tides and Ferries", true},
    {"NewTitleIsTakenInPlace", 200, "<title>Tides and Ferries</title>",
     "<title>Tides Weekly</title>", false, false, true, "Tides Weekly", true},
    {"NamelessDescriptionFitsANameMadeFromTheTitle", 200, "<title>Tides and Ferries</title>",
     "<title>Tides Weekly</title>", true, false, true, "Tides Weekly", true},
    {"NoTemplateLeftFailsTheEnews", 404, "", "", false, true, false, "Tides and Ferries", false},
};

class TemplateRefreshTest : public UpdateTest,
                            public ::testing::WithParamInterface<RefreshCase> {};

TEST_P(TemplateRefreshTest, Refresh) {
  const RefreshCase& c = GetParam();
  std::string description = served("/enews/tides.enews").value_or("");
  if (c.nameless) description = replace_all(description, "name=\"tides\" ", "");
  config().queue_description(description);
  ASSERT_TRUE(config().add_queued().ok);
  ENews& record = config().at(0);
  record.item(1).set_selected(false);
  const std::string local = record.enews_path().to_utf8();
  const std::string answer = *c.from != 0 ? replace_all(description, c.from, c.to) : description;
  if (c.status == 200) {
    reply("/enews/tides.enews", TestResponse::typed("text/xml", answer));
  } else {
    reply("/enews/tides.enews", TestResponse::status_only(c.status, "Not Found"));
  }
  if (c.remove_local) fs::remove(local);

  run();
  ASSERT_EQ(config().count(), 1);
  EXPECT_EQ(&config().at(0), &record) << "the record stays in place";
  EXPECT_EQ(record.title.to_utf8(), c.title);
  if (!c.remove_local) {
    EXPECT_EQ(read_bytes(local), c.replaced ? answer : description);
  }
  EXPECT_EQ(fs::exists(record.prc_path().to_utf8()), c.built);
  EXPECT_EQ(record.failed, !c.built);
  // The person's choice survives the refresh.
  EXPECT_FALSE(record.item(1).selected());
  EXPECT_TRUE(record.item(0).selected());
}

INSTANTIATE_TEST_SUITE_P(Cases, TemplateRefreshTest, ::testing::ValuesIn(refresh_cases),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace wayfetch::testing
