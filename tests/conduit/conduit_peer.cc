// The program's side of a HotSync in the conduit tests: creates
// "Wayfetch_conduit_pipe", announces what its script says and records what
// the conduit sends back.
//   conduit_peer SCRIPT OUTPUT
// Script lines:
//   open                      create the pipe, wait for the conduit -> "connected"
//   send STATE DIRECTION PATH a file message; size and time from the file
//   corrupt PATH              cut the file to 20 bytes
//   sleep MS
//   die                       SIGKILL to itself, ending nothing
//   end                       nothing more to send
// After the script every message that arrives is written to OUTPUT as
// "got STATE DIRECTION CARD PATH", then "end ERROR" once the conduit ended.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "delivery/pipe_connection.h"
#include "platform/file_system.h"

namespace {

using namespace wayfetch;

std::unique_ptr<FileMessage> announcement(int32_t state, int32_t direction,
                                          const std::string& path) {
  auto message = std::make_unique<FileMessage>();
  message->path = String(path);
  message->state = state;
  message->direction = direction;
  uint64_t modified = 0;
  if (platform::last_write_time(path, modified)) {
    message->modified = modified;
    message->size = static_cast<int32_t>(std::filesystem::file_size(path));
  }
  return message;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  std::ifstream script(argv[1]);
  std::ofstream output(argv[2]);
  MessageQueue outgoing;
  MessageQueue incoming;
  PipeConnection connection;
  std::string line;
  while (std::getline(script, line)) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command == "open") {
      const bool connected =
          connection.open(outgoing, incoming, "Wayfetch_conduit_pipe", true, true) &&
          connection.wait_connected(30000);
      output << (connected ? "connected" : "not connected") << std::endl;
    } else if (command == "send") {
      int32_t state = 0;
      int32_t direction = 0;
      std::string path;
      in >> state >> direction >> std::ws;
      std::getline(in, path);
      outgoing.add(announcement(state, direction, path));
    } else if (command == "corrupt") {
      std::string path;
      std::getline(in >> std::ws, path);
      std::filesystem::resize_file(path, 20);
    } else if (command == "sleep") {
      int ms = 0;
      in >> ms;
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    } else if (command == "die") {
      output.flush();
      kill(getpid(), SIGKILL);
    } else if (command == "end") {
      outgoing.end();
    }
  }
  MessageList got;
  while (PipeConnection::take_all(incoming, got, 30000)) {
  }
  for (const auto& message : got) {
    if (message->kind() != PipeMessage::kind_file) continue;
    const auto& file = static_cast<const FileMessage&>(*message);
    output << "got " << file.state << " " << file.direction << " " << file.card << " "
           << file.path.to_utf8() << "\n";
  }
  connection.wait_ended(30000);
  output << "end " << connection.error << std::endl;
  return 0;
}
