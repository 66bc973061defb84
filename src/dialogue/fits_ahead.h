// Fits made ahead of the jackknife's loop, several at a time on the machine's
// cores: each on its own copy of the table, its lines recorded to be written later.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "console/destinations.h"
#include "fit/cattab.h"
#include "fit/estbin.h"
#include "fit/fit_context.h"

namespace quelbro {

// The lines one fit wrote, in the order it wrote them.
struct FitTranscript {
  std::vector<std::string> screen, file;
  std::vector<bool> toFile;  // per line, in writing order: true for a report-file line

  // Writes the lines again, each to where it went: report-file lines only
  // when `out` has a report file.
  void replay(const Destinations& out) const;
};

// One fit to make ahead, and what it found.
struct AheadFit {
  CatTab ct;            // the table to fit; afterwards, as the fit left it
  int ileave = 0;       // ESTBIN's ileave: 0 is the fit on all cases, with its report
  std::string key;      // the counts of ct before the fit (FitMemo::key)
  bool made = false;    // false: not made (abandoned, or no resources): to be made in place
  double result = 0.0;  // what ESTBIN returned
  FitOutcome outcome;   // the fit on all cases only
  FitTranscript lines;
};

// Threads for `fits` fits, the calling one included. `asked` 0: as many as the
// machine has cores, at most kMaxFitThreads, and one when there are fewer than
// kMinFitsPerThreads fits (starting a thread costs about one small fit);
// otherwise `asked`. Never more than `fits`, never less than 1.
inline constexpr int kMaxFitThreads = 4;
inline constexpr std::size_t kMinFitsPerThreads = 4;
int fitThreads(int asked, std::size_t fits);

class FitsAhead;

// Threads kept for the fits of a whole run: they wait while there is nothing
// to make, so that a reader and treatment's fits never wait for a thread to
// be started, nor its end for a thread that found nothing left to do.
class FitPool {
 public:
  FitPool() = default;
  ~FitPool();  // stops and joins every thread
  FitPool(const FitPool&) = delete;
  FitPool& operator=(const FitPool&) = delete;

  // Makes sure that at least `helpers` threads (at most kMaxFitThreads - 1)
  // are there; returns how many there are. A thread that cannot be started
  // (std::system_error) is simply not there.
  int reserve(int helpers) noexcept;

 private:
  friend class FitsAhead;
  void post(FitsAhead* job) noexcept;
  void retire() noexcept;  // afterwards no thread touches the job posted last
  void run(std::uint64_t seen) noexcept;

  std::mutex m_;
  std::condition_variable wake_, idle_;
  FitsAhead* job_ = nullptr;
  std::uint64_t posted_ = 0;  // jobs posted so far
  int busy_ = 0;              // threads working on job_
  bool stop_ = false;
  std::vector<std::jthread> threads_;
};

// Makes a list of fits on the calling thread and up to `threads` - 1 threads
// of `pool` (or, without one, threads of its own for this list). The
// constructor hands the list to the pool, makes fits[0] first when it is the
// fit on all cases (when it gives no area, the fits not yet begun are
// abandoned: the jackknife would not use them), then takes the rest one by
// one until none is left to begin. A thread of the pool that comes late
// finds nothing to do and nobody waits for it; fits still being made by
// another thread are waited for one by one with `finished`, so that the
// caller writes the lines of those made while the last ones are under way.
// The destructor waits for the fits under way and then no thread touches
// the list any more. Each fit writes only to its own recording of its lines
// and works on its own table: none touches the screen, the report file or
// anything else shared, and `ctx` is read only by the constructor. Nothing
// throws: a fit that could not be made (no memory for its lines) ends with
// made = false, to be made in place. `fits` must outlive this object and
// keep its size.
class FitsAhead {
 public:
  FitsAhead(std::vector<AheadFit>& fits, int threads, int treatment, int reader, const FitContext& ctx,
            FitPool* pool) noexcept;
  ~FitsAhead();
  FitsAhead(const FitsAhead&) = delete;
  FitsAhead& operator=(const FitsAhead&) = delete;

  // Waits until fits[i] is made, abandoned or given up; true when made.
  bool finished(std::size_t i) const noexcept;

 private:
  friend class FitPool;
  enum State : int { kPending, kMade, kNotMade };
  void attempt(std::size_t i) noexcept;
  void share() noexcept;

  std::vector<AheadFit>& fits_;
  int treatment_, reader_;
  FitContext ctx_;   // a copy, with the destinations' report file noted below
  bool reportFile_;  // the fit on all cases has a report file to write to
  bool haveOut_;     // the fit on all cases has destinations at all
  std::unique_ptr<std::atomic<int>[]> state_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> abandon_{false};
  std::unique_ptr<FitPool> own_;  // the threads of this list alone, when no pool was given
  FitPool* pool_ = nullptr;       // the pool the list was handed to; null: none
};

}  // namespace quelbro
