// The current error sink, its scoped installer and the context slots texts
// hold while they live.
#include "core/error_sink.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/error_log.h"
#include "core/string.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

using testing::RecordingSink;

TEST(ErrorSinkTest, ScopesNestAndRestoreThePreviousSink) {
  RecordingSink outer;
  RecordingSink inner;
  ErrorState state;
  state.raise_error(errors::parse_unknown_end_tag, 1, -1);  // no sink: only recorded
  {
    ScopedErrorSink install_outer(&outer);
    {
      ScopedErrorSink install_inner(&inner);
      state.raise_warning(warnings::unclosed_above, 2, 3);
      {
        ScopedErrorSink none(nullptr);
        state.raise_error(errors::file_access, 4);
        EXPECT_FALSE(error_sink::installed());
      }
      state.raise_warning(warnings::past_end);  // never reaches a sink
    }
    state.raise_error(errors::request_syntax, 5, 6);
  }
  state.raise_error(errors::parse_bad_tag_name);
  EXPECT_EQ(state.error, errors::parse_bad_tag_name);
  EXPECT_EQ(inner.records, std::vector<std::string>{"W9,2,3"});
  EXPECT_EQ(outer.records, std::vector<std::string>{"E30,5,6"});
  EXPECT_FALSE(error_sink::installed());
}

TEST(ErrorSinkTest, LoadedTextsHoldTheirSlotWhileTheyOrTheirCopiesLive) {
  testing::TempDir dir;
  std::string path = dir.file("t.xml");
  testing::write_bytes(path, "<a/>");
  {
    String unregistered;
    ASSERT_TRUE(unregistered.load_file(String(path.c_str())));  // no sink: no slot
    EXPECT_EQ(unregistered.context(), -1);
  }
  RecordingSink sink;
  ScopedErrorSink install(&sink);
  {
    String loaded;
    ASSERT_TRUE(loaded.load_file(String(path.c_str())));
    EXPECT_EQ(loaded.context(), 0);
    String copy = loaded;
    loaded.clear();  // drops its share; the copy keeps the slot
    EXPECT_TRUE(sink.released.empty());
    String moved = std::move(copy);
    EXPECT_EQ(moved.context(), 0);
  }
  EXPECT_EQ(sink.released, std::vector<int32_t>{0});
}

TEST(ErrorSinkTest, ReleasedSlotsAreReusedAndStaleLeasesFreeNothing) {
  testing::TempDir dir;
  ErrorLog log(String(dir.file("log").c_str()), true);
  ScopedErrorSink install(&log);
  ContextLease first = ContextLease::register_text(String("a.xsl"), ErrorSink::retention_keep);
  EXPECT_EQ(first.slot(), 0);
  first.reset();
  // The slot is free again, so the next file takes it.
  ContextLease second = ContextLease::register_text(String("b.xsl"), ErrorSink::retention_keep);
  EXPECT_EQ(second.slot(), 0);
  // After a reset the slot goes to another file; the old share must not free it.
  log.reset();
  EXPECT_EQ(log.register_context(String("c.xsl"), ErrorSink::retention_keep), 0);
  second.reset();
  ErrorState state;
  state.raise_error(errors::file_access, 0);
  EXPECT_EQ(testing::read_bytes(dir.file("log")),
            "\xFF\xFE" + testing::utf16le("Error(core): Could not access file.\r\n"
                                          "      in file: c.xsl\r\n"));
}

}  // namespace
}  // namespace wayfetch
