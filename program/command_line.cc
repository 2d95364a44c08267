#include "program/command_line.h"

namespace wayfetch {

namespace {
constexpr std::string_view enews_option = "-enews ";
}

std::string enews_argument_path(std::string_view joined) {
  std::string_view rest = joined.substr(std::min(joined.size(), enews_option.size()));
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  if (!rest.empty() && rest.front() == '"') {
    rest.remove_prefix(1);
    return std::string(rest.substr(0, rest.find('"')));
  }
  return std::string(rest);
}

ProgramCommand parse_program_command(const std::vector<std::string_view>& arguments) {
  ProgramCommand command;
  if (arguments.empty()) return command;
  if (arguments.front().starts_with("--")) {
    command.kind = arguments.size() == 1 && arguments.front() == "--hidden"
                       ? ProgramCommand::Kind::start_hidden
                       : ProgramCommand::Kind::command;
    return command;
  }
  if (arguments.size() == 2 && arguments[0] == "-enews") {
    command.kind = ProgramCommand::Kind::enews;
    command.path = std::string(arguments[1]);
    return command;
  }
  std::string joined;
  for (std::string_view argument : arguments) {
    if (!joined.empty()) joined += ' ';
    joined += argument;
  }
  if (joined == "-k") {
    command.kind = ProgramCommand::Kind::kill;
  } else if (joined == "-conduit") {
    command.kind = ProgramCommand::Kind::conduit;
  } else if (joined == "-m") {
    command.kind = ProgramCommand::Kind::start_quiet;
  } else if (joined.starts_with(enews_option)) {
    command.kind = ProgramCommand::Kind::enews;
    command.path = enews_argument_path(joined);
  }
  return command;
}

}  // namespace wayfetch
