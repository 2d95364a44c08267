// The registration file, the Conduit Manager calls the program uses, and the
// mapping of database names to file names.
#include <gtest/gtest.h>

#include <cstdlib>

#include "hotsync/conduit_registry.h"
#include "hotsync/database_name.h"
#include "tests/support/temp_dir.h"

namespace wayfetch::hotsync {
namespace {

using testing::read_bytes;
using testing::write_bytes;

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1); }
  std::string file() const { return dir_.file("wayfetch-hotsync/conduits"); }
  testing::TempDir dir_;
};

TEST_F(RegistryTest, ConduitManagerCallsLeaveAnExistingRegistrationAlone) {
  int32_t priority = -1;
  EXPECT_EQ(CmGetCreatorPriority("LORV", &priority), cm_not_registered);
  const Registration lorv{
      .creator = "LORV", .library = "/opt/w/libLorvPalmSync.so", .priority = 2, .title = "Lorvane"};
  EXPECT_EQ(install_conduit(lorv), cm_ok);
  EXPECT_EQ(CmGetCreatorPriority("LORV", &priority), cm_ok);
  EXPECT_EQ(priority, 2);
  // The user moves it; a later start of the program must not move it back.
  EXPECT_EQ(CmSetCreatorPriority("LORV", 4), cm_ok);
  EXPECT_EQ(install_conduit(lorv), cm_already_registered);
  EXPECT_EQ(CmInstallCreator("LORV", 1), cm_already_registered);
  EXPECT_EQ(CmGetCreatorPriority("LORV", &priority), cm_ok);
  EXPECT_EQ(priority, 4);

  // The calls one by one, as the Conduit Manager offers them.
  EXPECT_EQ(CmSetCreatorName("ABCD", "/x.so"), cm_not_registered);
  EXPECT_EQ(CmInstallCreator("ABCD", 1), cm_ok);
  EXPECT_EQ(CmSetCreatorName("ABCD", "/x.so"), cm_ok);
  EXPECT_EQ(CmSetCreatorTitle("ABCD", "A title = with ="), cm_ok);
  EXPECT_EQ(CmSetCreatorTitle("ABCD", "two\nlines"), cm_bad_argument);
  EXPECT_EQ(CmSetCreatorPriority("ABCD", 300), cm_bad_argument);
  EXPECT_EQ(CmInstallCreator("AB", 1), cm_bad_argument);

  ConduitRegistry registry(file());
  ASSERT_TRUE(registry.load().is_ok());
  const std::vector<Registration> order = registry.run_order();
  ASSERT_EQ(order.size(), 2U);
  EXPECT_EQ(order[0].creator, "ABCD");
  EXPECT_EQ(order[0].library, "/x.so");
  EXPECT_EQ(order[0].title, "A title = with =");
  EXPECT_EQ(order[0].conduit_type, 1);
  EXPECT_EQ(order[1].creator, "LORV");
  EXPECT_EQ(order[1].library, "/opt/w/libLorvPalmSync.so");
}

TEST_F(RegistryTest, FileThatIsNoRegistrationFileIsNeverOverwritten) {
  const std::pair<const char*, const char*> bad[] = {
      {"library=/x.so\n", ":1: expected key=value"},
      {"[LORV]\npriority=300\n", ":2: a bad value for 'priority'"},
      {"[LORV]\ntitle=a\ntitle=b\n", ":3: the key 'title' is given twice"},
      {"[LORV]\n[LORV]\n", ":2: the creator is registered twice"},
      {"[LONGER]\n", ":1: a section is a creator"},
      {"[LORV]\nsync-type=x\n", ":2: a bad value for 'sync-type'"},
  };
  std::filesystem::create_directories(dir_.file("wayfetch-hotsync"));
  for (const auto& [text, why] : bad) {
    write_bytes(file(), text);
    ConduitRegistry registry(file());
    RegistryStatus status = registry.load();
    EXPECT_EQ(status.code, RegistryStatus::bad_file) << text;
    EXPECT_NE(status.message.find(why), std::string::npos) << status.message;
    EXPECT_FALSE(registry.save().is_ok());
    EXPECT_EQ(install_conduit({.creator = "NEW!"}), cm_file_error);
    EXPECT_EQ(read_bytes(file()), text);
  }
}

TEST_F(RegistryTest, ValuesOfLaterVersionsSurviveASave) {
  std::filesystem::create_directories(dir_.file("wayfetch-hotsync"));
  write_bytes(file(), "# comment\n[LORV]\nlibrary=/x.so\ncolour=blue\n");
  EXPECT_EQ(CmSetCreatorPriority("LORV", 0), cm_ok);
  ConduitRegistry registry(file());
  ASSERT_TRUE(registry.load().is_ok());
  ASSERT_EQ(registry.find("LORV")->other_values.size(), 1U);
  EXPECT_EQ(registry.find("LORV")->other_values[0].second, "blue");
  EXPECT_EQ(registry.find("LORV")->priority, 0);
}

TEST(DatabaseNameTest, NamesMapToSafeFileNamesAndBack) {
  const std::pair<std::string, std::string> cases[] = {
      {"Book A", "Book A.pdb"},
      {"../x", "%2E.%2Fx.pdb"},
      {".hidden", "%2Ehidden.pdb"},
      {"..", "%2E%2E.pdb"},
      {"a/b\\c:d", "a%2Fb%5Cc%3Ad.pdb"},
      {"100% sure", "100%25 sure.pdb"},
      {std::string("tab\there\x7F"), "tab%09here%7F.pdb"},
      {"M\xFCller", "M%FCller.pdb"},
      {"ends with dot.", "ends with dot%2E.pdb"},
      {"ends with blank ", "ends with blank%20.pdb"},
      {"x.pdb", "x.pdb.pdb"},
  };
  for (const auto& [name, file] : cases) {
    EXPECT_EQ(file_name_for_database(name), file) << name;
    EXPECT_EQ(database_name_for_file(file), name) << file;
  }
  for (const std::string& not_a_name :
       {std::string(), std::string(32, 'x'), std::string("a\0b", 3)})
    EXPECT_EQ(file_name_for_database(not_a_name), "");
  // Only the spelling the host writes stands for a name.
  for (const char* other : {"book.prc", "%2e.pdb", "%41.pdb", ".x.pdb", "a/b.pdb", "%4.pdb",
                            "%.pdb", ".pdb", "a%2.pdb", "x%00.pdb"}) {
    EXPECT_FALSE(database_name_for_file(other)) << other;
  }
}

}  // namespace
}  // namespace wayfetch::hotsync
