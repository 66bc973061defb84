// Fits made ahead of the jackknife's loop on several threads, each recording
// its lines, so that the loop only has to write them where it needs them.
#include "dialogue/fits_ahead.h"

#include <algorithm>

namespace quelbro {
namespace {

// Keeps the lines of one fit, screen or report file, in writing order.
class TranscriptSink : public LineSink {
 public:
  TranscriptSink(FitTranscript& t, bool toFile) : t_(t), toFile_(toFile) {}
  void writeLine(std::string_view line) override {
    (toFile_ ? t_.file : t_.screen).emplace_back(line);
    t_.toFile.push_back(toFile_);
  }

 private:
  FitTranscript& t_;
  bool toFile_;
};

// One fit on its own table, its own working arrays (ESTBIN keeps them on its
// stack) and its own recording: nothing it touches is seen by another thread.
// The fit on all cases records the report file's lines only when a report
// file is open, as its report differs with and without one; a left-out fit
// writes the same lines either way and records them always, as the loop does.
void makeOne(AheadFit& f, int treatment, int reader, const FitContext& ctx, bool reportFile, bool haveOut) {
  f.lines = FitTranscript{};
  TranscriptSink screen(f.lines, false), file(f.lines, true);
  const bool report = f.ileave == 0;
  const Destinations recorded(screen, !report || reportFile ? &file : nullptr);
  FitContext own = ctx;
  own.out = report && !haveOut ? nullptr : &recorded;
  f.result = ESTBIN(f.ct, f.ileave, treatment, reader, own, report ? &f.outcome : nullptr);
  f.made = true;
}

}  // namespace

void FitTranscript::replay(const Destinations& out) const {
  if (file.empty()) {
    out.screen().writeLines(screen);
    return;
  }
  std::size_t s = 0, f = 0;
  for (const bool lineToFile : toFile) {
    if (!lineToFile) {
      out.screen().writeLine(screen[s++]);
    } else if (LineSink* sink = out.file(); sink != nullptr) {
      sink->writeLine(file[f++]);
    } else {
      ++f;
    }
  }
}

int fitThreads(int asked, std::size_t fits) {
  int n = asked;
  if (n <= 0) {
    // Asked once: the answer is read from the system every time.
    static const unsigned cores = std::thread::hardware_concurrency();
    n = std::clamp(static_cast<int>(cores), 1, kMaxFitThreads);
    if (fits < kMinFitsPerThreads) n = 1;
  }
  return static_cast<int>(
      std::clamp<std::size_t>(static_cast<std::size_t>(n), 1, std::max<std::size_t>(fits, 1)));
}

FitPool::~FitPool() {
  {
    std::lock_guard<std::mutex> lock(m_);
    stop_ = true;
  }
  wake_.notify_all();
  for (std::jthread& t : threads_) t.join();
}

int FitPool::reserve(int helpers) noexcept {
  const auto want = static_cast<std::size_t>(std::clamp(helpers, 0, kMaxFitThreads - 1));
  std::lock_guard<std::mutex> lock(m_);
  try {
    threads_.reserve(want);
    // A new thread takes only jobs posted after this point.
    while (threads_.size() < want) threads_.emplace_back([this, seen = posted_] { run(seen); });
  } catch (...) {
    // No thread (std::system_error) or no room for one: those there are do.
  }
  return static_cast<int>(threads_.size());
}

void FitPool::post(FitsAhead* job) noexcept {
  {
    std::lock_guard<std::mutex> lock(m_);
    job_ = job;
    ++posted_;
  }
  wake_.notify_all();
}

void FitPool::retire() noexcept {
  std::unique_lock<std::mutex> lock(m_);
  job_ = nullptr;
  idle_.wait(lock, [this] { return busy_ == 0; });
}

void FitPool::run(std::uint64_t seen) noexcept {
  std::unique_lock<std::mutex> lock(m_);
  for (;;) {
    wake_.wait(lock, [&] { return stop_ || (job_ != nullptr && posted_ != seen); });
    if (stop_) return;
    seen = posted_;
    FitsAhead* job = job_;
    ++busy_;
    lock.unlock();
    job->share();
    lock.lock();
    if (--busy_ == 0) idle_.notify_all();
  }
}

FitsAhead::FitsAhead(std::vector<AheadFit>& fits, int threads, int treatment, int reader,
                     const FitContext& ctx, FitPool* pool) noexcept
    : fits_(fits),
      treatment_(treatment),
      reader_(reader),
      reportFile_(ctx.out != nullptr && ctx.out->hasFile()),
      haveOut_(ctx.out != nullptr) {
  try {
    ctx_ = ctx;
    state_ = std::make_unique<std::atomic<int>[]>(fits_.size());
    if (pool == nullptr && threads > 1) pool = (own_ = std::make_unique<FitPool>()).get();
  } catch (...) {
    state_.reset();  // nothing is made ahead: the loop makes every fit in place
    return;
  }
  const bool fullFirst = !fits_.empty() && fits_[0].ileave == 0;
  if (fullFirst) next_ = 1;
  if (pool != nullptr && threads > 1 && pool->reserve(threads - 1) > 0) {
    pool_ = pool;
    pool_->post(this);
  }
  if (fullFirst) {
    attempt(0);
    if (!fits_[0].made || !(fits_[0].result > 0.0)) abandon_ = true;
  }
  share();
}

FitsAhead::~FitsAhead() {
  // Fits nobody waits for any more are not begun; those under way end soon.
  abandon_ = true;
  if (pool_ != nullptr) pool_->retire();
}

void FitsAhead::attempt(std::size_t i) noexcept {
  AheadFit& f = fits_[i];
  if (!abandon_ || i == 0) {
    try {
      makeOne(f, treatment_, reader_, ctx_, reportFile_, haveOut_);
    } catch (...) {
      f.made = false;
      f.lines.screen.clear();
      f.lines.file.clear();
      f.lines.toFile.clear();
    }
  }
  state_[i].store(f.made ? kMade : kNotMade, std::memory_order_release);
  state_[i].notify_all();
}

// Takes the next fit not yet begun until none is left; after an abandon the
// rest are only marked as not made, so that nobody waits for them.
void FitsAhead::share() noexcept {
  for (std::size_t i = next_++; i < fits_.size(); i = next_++) attempt(i);
}

bool FitsAhead::finished(std::size_t i) const noexcept {
  if (state_ == nullptr || i >= fits_.size()) return false;
  int s = state_[i].load(std::memory_order_acquire);
  while (s == kPending) {
    state_[i].wait(kPending, std::memory_order_acquire);
    s = state_[i].load(std::memory_order_acquire);
  }
  return s == kMade;
}

}  // namespace quelbro
