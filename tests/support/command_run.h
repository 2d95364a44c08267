// Runs a command line through the shell and catches what it printed on
// standard output, for tests that drive the project's executables.
#ifndef WAYFETCH_TESTS_SUPPORT_COMMAND_RUN_H
#define WAYFETCH_TESTS_SUPPORT_COMMAND_RUN_H

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace wayfetch::testing {

struct CommandRun {
  int status = -1;  // the exit status, or 128 + the signal that ended it
  std::string output;
  double seconds = 0;  // how long it ran
};

inline CommandRun run_command(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  CommandRun run;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char block[4096];
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, pipe)) > 0;)
    run.output.append(block, got);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return run;
}

}  // namespace wayfetch::testing

#endif
