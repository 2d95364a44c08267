// The conduit library's entry points, called directly: the library loaded
// into this process (no HotSync host), and its exported symbols.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "conduit/sync_manager.h"

namespace wayfetch {
namespace {

class EntryPointsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = dlopen(WAYFETCH_CONDUIT, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
    name_ = function<GetConduitNameFunction>("GetConduitName");
    info_ = function<GetConduitInfoFunction>("GetConduitInfo");
    open_ = function<OpenConduitFunction>("OpenConduit");
    configure_ = function<CfgConduitFunction>("CfgConduit");
    ASSERT_TRUE(name_ && info_ && open_ && configure_);
  }
  void TearDown() override {
    if (library_ != nullptr) dlclose(library_);
  }
  template <typename Function>
  Function function(const char* name) {
    return reinterpret_cast<Function>(dlsym(library_, name));
  }

  void* library_ = nullptr;
  GetConduitNameFunction name_ = nullptr;
  GetConduitInfoFunction info_ = nullptr;
  OpenConduitFunction open_ = nullptr;
  CfgConduitFunction configure_ = nullptr;
};

void no_progress(const SyncProgress*) {}

TEST_F(EntryPointsTest, NameVersionAndInfo) {
  EXPECT_EQ(function<GetConduitVersionFunction>("GetConduitVersion")(), 0x100u);
  // The name never takes more than the buffer, its terminating zero included.
  char buffer[32];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(name_(buffer, 8), 0);
  EXPECT_STREQ(buffer, "Lorvane");
  EXPECT_EQ(buffer[8], 'x');
  EXPECT_EQ(name_(buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "Lorvane Wayfetch");
  EXPECT_EQ(name_(buffer, 0), -1);
  EXPECT_EQ(name_(nullptr, 8), -1);

  ConduitInfoRequest good{1, 80, {'L', 'O', 'R', 'V'}, 0, "user"};
  ConduitInfoRequest old_version = good;
  old_version.version = 2;
  ConduitInfoRequest short_size = good;
  short_size.size = 40;
  struct Case {
    int32_t kind;
    const void* request;
    bool out;
    bool size;
    uint32_t out_size;
    int32_t result;
    uint32_t value;  // kinds 1 and 2
  };
  for (const Case& c : {
           Case{0, &good, false, true, 4, 4209, 0},
           Case{0, &good, true, false, 4, 4215, 0},
           Case{0, nullptr, true, true, 32, 4212, 0},
           Case{0, &old_version, true, true, 32, 4213, 0},
           Case{0, &short_size, true, true, 32, 4213, 0},
           Case{0, &good, true, true, 0, 4214, 0},
           Case{0, &good, true, true, 5, 0, 0},
           Case{1, nullptr, true, true, 2, 4211, 0},
           Case{1, nullptr, true, true, 4, 0, 0x10000000},
           Case{2, nullptr, true, true, 8, 4211, 0},
           Case{2, nullptr, true, true, 4, 0, 0},
           Case{3, nullptr, true, true, 4, 4208, 0},
       }) {
    SCOPED_TRACE(::testing::Message() << "kind " << c.kind << " size " << c.out_size);
    uint32_t out_size = c.out_size;
    char out[32];
    std::memset(out, 'x', sizeof out);
    const uint32_t marker = 0xDEADBEEF;
    if (c.kind != 0) std::memcpy(out, &marker, sizeof marker);
    EXPECT_EQ(info_(c.kind, c.request, c.out ? out : nullptr, c.size ? &out_size : nullptr),
              c.result);
    if (c.kind == 0 && c.result == 0) {
      EXPECT_STREQ(out, "Lorv");
      EXPECT_EQ(out[5], 'x');
    } else if (c.kind != 0) {
      uint32_t value = 0;
      std::memcpy(&value, out, sizeof value);
      EXPECT_EQ(value, c.result == 0 ? c.value : marker);
    }
  }
}

TEST_F(EntryPointsTest, ConfigurationAndOpeningRefuseBadArguments) {
  SyncConfiguration record{};
  record.version = 1;
  record.size = 352;
  SyncConfiguration wrong_version = record;
  wrong_version.version = 3;
  uint32_t size = 352;
  uint32_t wrong_size = 300;
  struct Case {
    int32_t kind;
    SyncConfiguration* info;
    uint32_t* size;
    int32_t result;
  };
  for (const Case& c : {Case{0, nullptr, &size, 4212}, Case{0, &record, nullptr, 4216},
                        Case{0, &record, &wrong_size, 4218}, Case{1, &record, &size, 4217},
                        Case{0, &wrong_version, &size, 4219}, Case{0, &record, &size, 0}}) {
    EXPECT_EQ(configure_(c.kind, c.info, c.size), c.result) << "expected " << c.result;
  }

  ConduitProperties properties{};
  properties.sync_type = sync_type_nothing;
  EXPECT_EQ(open_(nullptr, &properties), -1);
  EXPECT_EQ(open_(&no_progress, &properties), 0);
  // Outside a HotSync host the Sync Manager is nowhere to be found.
  properties.sync_type = sync_type_fast;
  EXPECT_EQ(open_(&no_progress, &properties), -1);
}

TEST(ConduitLibraryTest, ExportsOnlyTheFiveEntryPoints) {
  std::FILE* pipe = ::popen("nm -D --defined-only '" WAYFETCH_CONDUIT "'", "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> functions;
  std::set<std::string> others;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    char type = 0;
    char name[900];
    if (std::sscanf(line, "%*s %c %899s", &type, name) != 2) continue;
    (type == 'T' ? functions : others).insert(name);
  }
  EXPECT_EQ(::pclose(pipe), 0);
  EXPECT_EQ(functions, (std::set<std::string>{"CfgConduit", "GetConduitInfo", "GetConduitName",
                                              "GetConduitVersion", "OpenConduit"}));
  EXPECT_TRUE(others.empty()) << *others.begin();
}

}  // namespace
}  // namespace wayfetch
