// The command line of a program start that is not one of the "--" commands
// of app/main.cc: what later starts ask of the running instance.
//
//   (nothing)          start, or show the running instance and bring it forward
//   -k                 end the running instance
//   -conduit           the HotSync conduit's start: tell the running instance
//                      that the handheld synchronises, else start (not brought
//                      forward)
//   -enews PATH        hand a subscription file to the running instance,
//                      starting one when none runs
//   -m                 start, or show the running instance without bringing it
//                      forward
//   --hidden           start without showing the window (a start by "-enews")
//   anything else      as nothing
//
// The arguments after the program name are joined with blanks and examined
// as one string. The path of "-enews " is what follows the option: leading
// blanks skipped; a name that starts with a double quote runs up to the next
// double quote (or the end), any other to the end. With exactly "-enews" and
// one more argument, that argument is the path as it stands (a shell or a
// desktop already split it). Pure functions; thread-safe.
#ifndef WAYFETCH_PROGRAM_COMMAND_LINE_H
#define WAYFETCH_PROGRAM_COMMAND_LINE_H

#include <string>
#include <string_view>
#include <vector>

namespace wayfetch {

struct ProgramCommand {
  enum class Kind {
    start,         // nothing, or anything not listed
    start_quiet,   // "-m"
    start_hidden,  // "--hidden"
    kill,          // "-k"
    conduit,       // "-conduit"
    enews,         // "-enews PATH"
    command,       // a "--" command of app/main.cc other than --hidden
  };

  Kind kind = Kind::start;
  std::string path;  // enews: the file as given (may be relative)
};

// `arguments` are argv[1..argc-1].
ProgramCommand parse_program_command(const std::vector<std::string_view>& arguments);

// The file name in `joined`, which starts with "-enews ".
std::string enews_argument_path(std::string_view joined);

}  // namespace wayfetch

#endif
