// PicturePool: converts the pictures of one book on a few threads, ahead of
// the writer, and hands the records out in the order they were listed.
//
// The pool is given the book's distinct pictures one by one, in
// first-appearance order, as the page reaches them. Its threads take them in
// that order; take() returns them in the same order, waiting for the one
// asked for. At most `threads` pictures are decoded at once (one per
// thread), and a thread starts a picture only while fewer than twice that
// many are converted or converting and not yet taken, so a book of many
// pictures holds a bounded number of records.
//
// A conversion's exception is caught on its thread and thrown again by the
// take() of that picture, so callers see what a conversion on their own
// thread would have given. Destroying the pool lets each thread finish the
// picture it is on and joins them all.
//
// take() belongs to one thread (the writer); the pool's threads are its own.
#ifndef WAYFETCH_EBOOK_PICTURE_POOL_H
#define WAYFETCH_EBOOK_PICTURE_POOL_H

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/thread.h"
#include "imaging/picture_record.h"
#include "platform/thread_annotations.h"

namespace wayfetch {

class PicturePool {
 public:
  using Convert = std::function<PictureRecord(const std::string& path)>;

  // The most threads a pool uses, whatever the number of cores.
  static constexpr int max_threads = 8;
  // As many threads as the machine has cores, at most max_threads, at least 1.
  static int default_threads();

  // A pool of up to `threads` threads converting with `convert`; they start
  // as pictures come. A thread the system refuses is left out; with none
  // the pool converts each picture in take().
  PicturePool(int threads, Convert convert);
  PicturePool(const PicturePool&) = delete;
  PicturePool& operator=(const PicturePool&) = delete;
  ~PicturePool();

  // Adds the next picture to convert.
  void add(const std::string& path);
  // True when `path` is the next picture take() hands out.
  bool is_next(const std::string& path) const;
  // The record of the next listed picture, waiting until it is converted.
  // REQUIRES: is_next() of that picture.
  PictureRecord take();

 private:
  struct Result {
    std::optional<PictureRecord> record;
    std::exception_ptr failure;
  };

  static uint32_t run(void* pool);
  void work();
  Result convert_one(const std::string& path);

  const Convert convert_;
  const std::size_t thread_count_;
  const std::size_t window_;  // pictures converted or converting ahead of take()

  mutable platform::PlainMutex mutex_;
  std::condition_variable_any converted_;  // a result was stored
  std::condition_variable_any room_;       // a result was taken, or the pool stops
  std::vector<std::string> paths_ WAYFETCH_GUARDED_BY(mutex_);
  std::vector<Result> results_ WAYFETCH_GUARDED_BY(mutex_);
  std::size_t next_ WAYFETCH_GUARDED_BY(mutex_) = 0;   // next picture a thread starts
  std::size_t taken_ WAYFETCH_GUARDED_BY(mutex_) = 0;  // pictures handed out
  bool stopping_ WAYFETCH_GUARDED_BY(mutex_) = false;

  // Started by add() on the owner's thread; read by take() on the same.
  std::vector<std::unique_ptr<Thread>> threads_;
  bool refused_ = false;  // the system refused a thread: no more are tried
};

}  // namespace wayfetch

#endif
