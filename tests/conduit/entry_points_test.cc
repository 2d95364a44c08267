// The conduit library's entry points called directly, the library loaded
// into this process (no HotSync host); and its exported symbols.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "conduit/sync_manager.h"

namespace wayfetch {
namespace {

template <typename Function>
Function entry(const char* name) {
  static void* library = dlopen(WAYFETCH_CONDUIT, RTLD_NOW | RTLD_LOCAL);
  return library != nullptr ? reinterpret_cast<Function>(dlsym(library, name)) : nullptr;
}

TEST(ConduitEntryPointsTest, NameVersionAndInfo) {
  const auto name = entry<GetConduitNameFunction>("GetConduitName");
  const auto info = entry<GetConduitInfoFunction>("GetConduitInfo");
  ASSERT_TRUE(name && info) << dlerror();
  EXPECT_EQ(entry<GetConduitVersionFunction>("GetConduitVersion")(), 0x100u);
  // Names are cut to the buffer, terminating zero included.
  char buffer[32] = "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx";
  EXPECT_EQ(name(buffer, 8), 0);
  EXPECT_EQ(std::string(buffer, 9), std::string("Lorvane\0x", 9));
  EXPECT_EQ(name(buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "Lorvane Wayfetch");
  EXPECT_EQ(name(buffer, 0), -1);

  const ConduitInfoRequest good{1, 80, {'L', 'O', 'R', 'V'}, 0, "user"};
  const ConduitInfoRequest old_version{2, 80, {}, 0, ""};
  const ConduitInfoRequest wrong_size{1, 40, {}, 0, ""};
  struct Case {
    int32_t kind;
    const void* request;
    bool no_out, no_size;
    uint32_t out_size;
    int32_t result;
    std::string out;  // the bytes written (kinds 1 and 2: four)
  };
  for (const Case& c : {
           Case{0, &good, true, false, 4, 4209, "xxxxxx"},
           Case{0, &good, false, true, 4, 4215, "xxxxxx"},
           Case{0, nullptr, false, false, 32, 4212, "xxxxxx"},
           Case{0, &old_version, false, false, 32, 4213, "xxxxxx"},
           Case{0, &wrong_size, false, false, 32, 4213, "xxxxxx"},
           Case{0, &good, false, false, 0, 4214, "xxxxxx"},
           Case{0, &good, false, false, 5, 0, std::string("Lorv\0x", 6)},
           Case{1, nullptr, false, false, 2, 4211, "xxxxxx"},
           Case{1, nullptr, false, false, 4, 0, std::string("\0\0\0\x10xx", 6)},
           Case{2, nullptr, false, false, 8, 4211, "xxxxxx"},
           Case{2, nullptr, false, false, 4, 0, std::string("\0\0\0\0xx", 6)},
           Case{3, nullptr, false, false, 4, 4208, "xxxxxx"},
       }) {
    SCOPED_TRACE(::testing::Message() << "kind " << c.kind << " size " << c.out_size);
    char out[6];
    std::memset(out, 'x', sizeof out);
    uint32_t out_size = c.out_size;
    EXPECT_EQ(info(c.kind, c.request, c.no_out ? nullptr : out, c.no_size ? nullptr : &out_size),
              c.result);
    EXPECT_EQ(std::string(out, sizeof out), c.out);
  }
}

void no_progress(const SyncProgress*) {}

TEST(ConduitEntryPointsTest, ConfigurationAndOpeningRefuseBadArguments) {
  const auto configure = entry<CfgConduitFunction>("CfgConduit");
  const auto open = entry<OpenConduitFunction>("OpenConduit");
  ASSERT_TRUE(configure && open) << dlerror();
  SyncConfiguration record{};
  record.version = 1;
  SyncConfiguration wrong_version{};
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
    EXPECT_EQ(configure(c.kind, c.info, c.size), c.result);
  }

  ConduitProperties properties{};
  properties.sync_type = sync_type_nothing;
  EXPECT_EQ(open(nullptr, &properties), -1);
  EXPECT_EQ(open(&no_progress, &properties), 0);
  // Outside a HotSync host there is no Sync Manager to call.
  properties.sync_type = sync_type_fast;
  EXPECT_EQ(open(&no_progress, &properties), -1);
}

TEST(ConduitEntryPointsTest, OnlyTheFiveAreExported) {
  std::FILE* pipe = ::popen("nm -D --defined-only '" WAYFETCH_CONDUIT "'", "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> symbols;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    char type = 0;
    char name[900];
    if (std::sscanf(line, "%*s %c %899s", &type, name) == 2)
      symbols.insert(type + std::string(" ") + name);
  }
  EXPECT_EQ(::pclose(pipe), 0);
  EXPECT_EQ(symbols, (std::set<std::string>{"T CfgConduit", "T GetConduitInfo", "T GetConduitName",
                                            "T GetConduitVersion", "T OpenConduit"}));
}

}  // namespace
}  // namespace wayfetch
