#include "platform/launcher.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "platform/threads.h"

extern char** environ;

namespace wayfetch::platform {
namespace {

// Without a pidfd (an old kernel, or a sandbox that refuses pidfd_open) the
// reaper looks at its children this often.
constexpr int look_interval_ms = 100;

int open_pidfd(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

// Waits for the children this layer started, and for no other process: a
// waitpid(-1) or a SIGCHLD handler would steal the exit statuses of a host
// process's own children.
class Reaper {
 public:
  Reaper() : wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~Reaper() {
    std::unique_lock hold(mutex_);
    stopping_ = true;
    hold.unlock();
    wake();
    thread_.join();
    // Children still running when the program (or library) goes are left to
    // whoever inherits them; their descriptors are ours to close.
    for (const Child& child : children_) {
      if (child.pidfd >= 0) close(child.pidfd);
    }
    if (wake_ >= 0) close(wake_);
  }
  Reaper(const Reaper&) = delete;
  Reaper& operator=(const Reaper&) = delete;

  void add(pid_t pid) {
    std::lock_guard hold(mutex_);
    children_.push_back(Child{pid, open_pidfd(pid)});
    if (!running_ && !stopping_) {
      // Without a thread (the system refused one) ended children are
      // collected here, at the next start.
      reap_ended();
      // A thread that found nothing left has ended (or is about to): it
      // cleared `running_` under the lock and touches nothing after.
      thread_.join();
      running_ = thread_.start([](void* self) { static_cast<Reaper*>(self)->run(); }, this);
    }
    wake();
  }

  bool wait_until_empty(std::chrono::milliseconds timeout) {
    std::unique_lock hold(mutex_);
    return emptied_.wait_for(hold, timeout, [this] { return children_.empty(); });
  }

 private:
  struct Child {
    pid_t pid;
    int pidfd;  // -1: looked at every look_interval_ms
  };

  void wake() {
    if (wake_ < 0) return;
    uint64_t one = 1;
    ssize_t ignored = write(wake_, &one, sizeof(one));
    (void)ignored;
  }

  void run() {
    std::vector<pollfd> fds;
    for (;;) {
      bool look_often = wake_ < 0;
      {
        std::lock_guard hold(mutex_);
        reap_ended();
        if (children_.empty() || stopping_) {
          running_ = false;
          emptied_.notify_all();
          return;
        }
        fds.clear();
        if (wake_ >= 0) fds.push_back(pollfd{wake_, POLLIN, 0});
        for (const Child& child : children_) {
          if (child.pidfd >= 0) {
            fds.push_back(pollfd{child.pidfd, POLLIN, 0});
          } else {
            look_often = true;
          }
        }
      }
      int ready = poll(fds.data(), fds.size(), look_often ? look_interval_ms : -1);
      if (ready > 0 && wake_ >= 0 && (fds[0].revents & POLLIN) != 0) {
        uint64_t count = 0;
        ssize_t ignored = read(wake_, &count, sizeof(count));
        (void)ignored;
      }
    }
  }

  // Collects every child that has ended. REQUIRES: mutex_ held.
  void reap_ended() {
    for (std::size_t i = 0; i < children_.size();) {
      int status = 0;
      pid_t got = waitpid(children_[i].pid, &status, WNOHANG);
      bool gone = got == children_[i].pid || (got < 0 && errno == ECHILD);
      if (!gone) {
        ++i;
        continue;
      }
      if (children_[i].pidfd >= 0) close(children_[i].pidfd);
      children_[i] = children_.back();
      children_.pop_back();
    }
  }

  const int wake_;
  std::mutex mutex_;
  std::condition_variable emptied_;
  std::vector<Child> children_;
  bool running_ = false;
  bool stopping_ = false;
  OsThread thread_;
};

Reaper& reaper() {
  // Destroyed when the program ends or the library holding it is unloaded;
  // its thread is joined then.
  static Reaper instance;
  return instance;
}

LaunchStatus failure(int error, const std::string& program) {
  LaunchStatus status;
  status.error = error;
  status.message = program + ": " + std::strerror(error);
  return status;
}

// Owns the spawn attributes and file actions for one call.
class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawnattr_init(&attributes_);
    posix_spawn_file_actions_init(&actions_);
  }
  ~SpawnSetup() {
    posix_spawnattr_destroy(&attributes_);
    posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // 0 or an errno value. `null_streams` puts /dev/null on descriptors 0-2.
  int prepare(const LaunchOptions& options, bool null_streams = false) {
    if (null_streams) {
      for (int fd : {0, 1, 2}) {
        int flags = fd == 0 ? O_RDONLY : O_WRONLY;
        if (int error = posix_spawn_file_actions_addopen(&actions_, fd, "/dev/null", flags, 0);
            error != 0) {
          return error;
        }
      }
    }
    // Descriptors a library opened without close-on-exec (or one another
    // thread is just opening) must not reach the child.
    if (int error = posix_spawn_file_actions_addclosefrom_np(&actions_, 3); error != 0) {
      return error;
    }
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (options.new_session) flags |= POSIX_SPAWN_SETSID;
    if (int error = posix_spawnattr_setsigmask(&attributes_, &none); error != 0) return error;
    if (int error = posix_spawnattr_setsigdefault(&attributes_, &all); error != 0) return error;
    return posix_spawnattr_setflags(&attributes_, flags);
  }

  const posix_spawnattr_t* attributes() const { return &attributes_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
  posix_spawnattr_t attributes_;
  posix_spawn_file_actions_t actions_;
};

// argv for `program` and `arguments`; the pointers live as long as both.
std::vector<char*> argument_vector(const std::string& program,
                                   const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  return argv;
}

// posix_spawn by path when the name holds a "/", else looked up in PATH.
// glibc reports a failed exec (a missing program) as the call's result and
// collects that child itself.
int spawn(pid_t& pid, const std::string& program, const SpawnSetup& setup,
          const std::vector<char*>& argv) {
  bool by_path = program.find('/') != std::string::npos;
  return by_path ? posix_spawn(&pid, program.c_str(), setup.actions(), setup.attributes(),
                               argv.data(), environ)
                 : posix_spawnp(&pid, program.c_str(), setup.actions(), setup.attributes(),
                                argv.data(), environ);
}

// What the middle child of a detached start reports through its pipe.
struct DetachedReport {
  int32_t error = 0;
  int32_t process_id = -1;
};

}  // namespace

LaunchStatus launch(const std::string& program, const std::vector<std::string>& arguments,
                    const LaunchOptions& options) {
  if (program.empty()) return failure(EINVAL, "(no program)");
  std::vector<char*> argv = argument_vector(program, arguments);
  SpawnSetup setup;
  if (int error = setup.prepare(options); error != 0) return failure(error, program);
  pid_t pid = -1;
  if (int error = spawn(pid, program, setup, argv); error != 0) return failure(error, program);
  reaper().add(pid);
  LaunchStatus status;
  status.process_id = pid;
  return status;
}

LaunchStatus launch_detached(const std::string& program,
                             const std::vector<std::string>& arguments) {
  if (program.empty()) return failure(EINVAL, "(no program)");
  // Everything that allocates is prepared before the fork: the middle child
  // of a process with other threads only calls setsid, posix_spawn, write
  // and _exit.
  std::vector<char*> argv = argument_vector(program, arguments);
  SpawnSetup setup;
  if (int error = setup.prepare({}, true); error != 0) return failure(error, program);
  int report_pipe[2];
  if (pipe2(report_pipe, O_CLOEXEC) != 0) return failure(errno, program);
  pid_t middle = fork();
  if (middle < 0) {
    int error = errno;
    close(report_pipe[0]);
    close(report_pipe[1]);
    return failure(error, program);
  }
  if (middle == 0) {
    // The middle child: a session of its own, so the program is no longer
    // tied to the host's terminal or process group; then it leaves, and the
    // program is re-parented.
    close(report_pipe[0]);
    DetachedReport report;
    if (setsid() < 0) {
      report.error = errno;
    } else {
      pid_t pid = -1;
      report.error = spawn(pid, program, setup, argv);
      report.process_id = pid;
    }
    ssize_t ignored = write(report_pipe[1], &report, sizeof report);
    (void)ignored;
    _exit(0);
  }
  close(report_pipe[1]);
  DetachedReport report;
  std::size_t got = 0;
  auto* bytes = reinterpret_cast<char*>(&report);
  while (got < sizeof report) {
    ssize_t n = read(report_pipe[0], bytes + got, sizeof report - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  close(report_pipe[0]);
  // Only our own middle child is waited for: the host's children keep
  // their exit statuses.
  int wait_status = 0;
  while (waitpid(middle, &wait_status, 0) < 0 && errno == EINTR) {
  }
  if (got < sizeof report) return failure(ECHILD, program);  // the middle child died early
  if (report.error != 0) return failure(report.error, program);
  LaunchStatus status;
  status.process_id = report.process_id;
  return status;
}

LaunchStatus open_with_desktop(const std::string& target) {
  if (target.empty() || target.front() == '-') return failure(EINVAL, "xdg-open " + target);
  return launch("xdg-open", {target});
}

bool wait_for_children(std::chrono::milliseconds timeout) {
  return reaper().wait_until_empty(timeout);
}

}  // namespace wayfetch::platform
