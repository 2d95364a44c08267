// The other process of the pipe connection tests (tests/core/peer_process.h
// starts it). It is built as a shared library with a three-line main, the
// way the conduit links the pipe protocol into a library, and installs no
// error sink. One command per line on standard input, one answer line each:
//   open NAME creating|opening wait|nowait LIMIT_MS  -> opened | not started
//   files COUNT         (file messages "fI", I counting on) -> queued COUNT
//   text WORDS...       (one text message)           -> queued 1
//   stream              (file messages until killed) -> streaming
//   end                 (the outgoing queue ends)    -> ended
//   finish MS   (waits for the end, takes all) -> finished ERROR COUNT [TEXT|...]
//   log PATH    (a handheld log copy: direction 1, state 2) -> queued 1
//   received MS (waits for the end, takes all)
//                -> received COUNT [STATE DIRECTION SIZE MODIFIED PATH|...] (file messages)
// It ends at "exit" or the end of its input.
#include <atomic>
#include <chrono>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "delivery/pipe_connection.h"

namespace {

using namespace wayfetch;

std::unique_ptr<FileMessage> numbered_file(int32_t index) {
  auto file = std::make_unique<FileMessage>();
  file->path = String("f" + std::to_string(index));
  file->size = index;
  file->card = 0;
  file->modified = static_cast<uint64_t>(index) << 33;
  file->state = 2;
  return file;
}

class Client {
 public:
  ~Client() { stop_streaming(); }

  std::string run(const std::string& line) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command == "open") {
      std::string name, side, wait;
      int32_t limit = 0;
      in >> name >> side >> wait >> limit;
      connection_ = std::make_unique<PipeConnection>(limit);
      return connection_->open(outgoing_, incoming_, name, side == "creating", wait == "wait")
                 ? "opened"
                 : "not started";
    }
    if (command == "files") {
      int32_t count = 0;
      in >> count;
      for (int32_t i = 0; i < count; ++i) outgoing_.add(numbered_file(next_++));
      return "queued " + std::to_string(count);
    }
    if (command == "text") {
      std::string rest;
      std::getline(in >> std::ws, rest);
      outgoing_.add(std::make_unique<TextMessage>(String(rest)));
      return "queued 1";
    }
    if (command == "log") {
      std::string path;
      std::getline(in >> std::ws, path);
      auto copy = std::make_unique<FileMessage>();
      copy->path = String(path);
      copy->direction = FileMessage::direction_handheld_log;
      copy->state = 2;
      outgoing_.add(std::move(copy));
      return "queued 1";
    }
    if (command == "received") {
      int32_t ms = 0;
      in >> ms;
      if (!connection_ || !connection_->wait_ended(ms)) return "not finished";
      MessageList got;
      while (PipeConnection::take_all(incoming_, got, 0)) {
      }
      std::string files;
      for (const auto& message : got) {
        if (message->kind() != PipeMessage::kind_file) continue;
        const auto& file = static_cast<const FileMessage&>(*message);
        files += (files.empty() ? " " : "|") + std::to_string(file.state) + " " +
                 std::to_string(file.direction) + " " + std::to_string(file.size) + " " +
                 std::to_string(file.modified) + " " + file.path.to_utf8();
      }
      return "received " + std::to_string(got.size()) + files;
    }
    if (command == "stream") {
      streaming_ = std::thread([this] {
        while (!stop_.load()) {
          if (outgoing_.size() >= 1000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          } else if (!outgoing_.add(numbered_file(next_++))) {
            return;
          }
        }
      });
      return "streaming";
    }
    if (command == "end") {
      outgoing_.end();
      return "ended";
    }
    if (command == "finish") {
      int32_t ms = 0;
      in >> ms;
      if (!connection_ || !connection_->wait_ended(ms)) return "not finished";
      MessageList got;
      while (PipeConnection::take_all(incoming_, got, 0)) {
      }
      std::string texts;
      for (const auto& message : got) {
        if (message->kind() == PipeMessage::kind_text) {
          texts += " " + static_cast<const TextMessage&>(*message).text.to_utf8();
        }
      }
      return "finished " + std::to_string(connection_->error) + " " + std::to_string(got.size()) +
             texts;
    }
    return "unknown " + command;
  }

 private:
  void stop_streaming() {
    stop_.store(true);
    if (streaming_.joinable()) streaming_.join();
  }

  MessageQueue outgoing_;
  MessageQueue incoming_;
  std::unique_ptr<PipeConnection> connection_;
  std::atomic<int32_t> next_{0};
  std::atomic<bool> stop_{false};
  std::thread streaming_;
};

}  // namespace

extern "C" int wayfetch_pipe_client() {
  Client client;
  std::string line;
  while (std::getline(std::cin, line) && line != "exit") std::cout << client.run(line) << std::endl;
  return 0;
}
