#include "program/command_line.h"

#include <gtest/gtest.h>

namespace wayfetch {
namespace {

using Kind = ProgramCommand::Kind;

TEST(CommandLineTest, FormsAndPaths) {
  struct Case {
    std::vector<std::string_view> arguments;
    Kind kind;
    std::string path;
  };
  const Case cases[] = {
      {{}, Kind::start, ""},
      {{"-m"}, Kind::start_quiet, ""},
      {{"-k"}, Kind::kill, ""},
      {{"-k", "x"}, Kind::start, ""},  // "-k x" is not "-k"
      {{"-conduit"}, Kind::conduit, ""},
      {{"--hidden"}, Kind::start_hidden, ""},
      {{"--hidden", "-m"}, Kind::command, ""},
      {{"--update"}, Kind::command, ""},
      {{"somefile"}, Kind::start, ""},
      {{"-enews"}, Kind::start, ""},
      // One argument string, as a desktop or the conduit may pass it.
      {{"-enews \"/a b/c d.enews\""}, Kind::enews, "/a b/c d.enews"},
      {{"-enews    \"/a b/c.enews"}, Kind::enews, "/a b/c.enews"},  // no closing quote
      {{"-enews \"/a\" trailing"}, Kind::enews, "/a"},
      {{"-enews   /plain path.enews"}, Kind::enews, "/plain path.enews"},
      // Separate entries are joined with blanks first...
      {{"-enews", "\"x", "y.enews\""}, Kind::enews, "x y.enews"},
      {{"-enews", "a", "b"}, Kind::enews, "a b"},
      // ...but exactly one path after "-enews" is taken as it stands.
      {{"-enews", "\"quoted\" name.enews"}, Kind::enews, "\"quoted\" name.enews"},
      {{"-enews", "  lead.enews"}, Kind::enews, "  lead.enews"},
  };
  for (const Case& c : cases) {
    const ProgramCommand command = parse_program_command(c.arguments);
    std::string shown;
    for (std::string_view a : c.arguments) shown += "[" + std::string(a) + "]";
    EXPECT_EQ(command.kind, c.kind) << shown;
    EXPECT_EQ(command.path, c.path) << shown;
  }
}

}  // namespace
}  // namespace wayfetch
