// Fits made ahead of the jackknife's loop on several threads, each recording
// its lines, so that the loop only has to write them where it needs them.
#include "dialogue/fits_ahead.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

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
void makeOne(AheadFit& f, int treatment, int reader, const FitContext& ctx) {
  f.lines = FitTranscript{};
  TranscriptSink screen(f.lines, false), file(f.lines, true);
  const bool report = f.ileave == 0;
  const bool withFile = !report || (ctx.out != nullptr && ctx.out->hasFile());
  const Destinations recorded(screen, withFile ? &file : nullptr);
  FitContext own = ctx;
  own.out = report && ctx.out == nullptr ? nullptr : &recorded;
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
    const unsigned cores = std::thread::hardware_concurrency();
    n = std::clamp(static_cast<int>(cores), 1, kMaxFitThreads);
    if (fits < kMinFitsPerThreads) n = 1;
  }
  return static_cast<int>(
      std::clamp<std::size_t>(static_cast<std::size_t>(n), 1, std::max<std::size_t>(fits, 1)));
}

void makeFitsAhead(std::vector<AheadFit>& fits, int threads, int treatment, int reader,
                   const FitContext& ctx) noexcept {
  std::atomic<std::size_t> next{0};
  std::atomic<bool> abandon{false};
  // A fit that cannot be made here (no memory for its lines) is left to the
  // jackknife's loop, which makes it in place as it always could.
  auto attempt = [&](AheadFit& f) noexcept {
    try {
      makeOne(f, treatment, reader, ctx);
    } catch (...) {
      f.made = false;
      f.lines.screen.clear();
      f.lines.file.clear();
      f.lines.toFile.clear();
    }
  };
  const bool fullFirst = !fits.empty() && fits[0].ileave == 0;
  if (fullFirst) next = 1;
  auto share = [&]() noexcept {
    for (std::size_t i = next++; i < fits.size() && !abandon; i = next++) attempt(fits[i]);
  };

  {
    std::vector<std::jthread> helpers;  // joined when this block ends, whatever happens
    try {
      helpers.reserve(static_cast<std::size_t>(std::max(threads - 1, 0)));
      for (int h = 1; h < threads; ++h) helpers.emplace_back(share);
    } catch (const std::exception&) {
      // No thread (std::system_error) or no room for one: the threads
      // already running and this one share the fits.
    }
    if (fullFirst) {
      attempt(fits[0]);
      if (fits[0].made && !(fits[0].result > 0.0)) abandon = true;
    }
    share();
  }
}

}  // namespace quelbro
