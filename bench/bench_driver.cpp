// Runs quelbro-con end to end on generated studies (answers from a script,
// report to a file) and prints wall time and peak memory of each run, then
// each target with its figure and whether it is met.
//   bench_driver QUELBRO_CON GEN_STUDY WORKDIR [RUNS [STUDY]]
// The worst case (left-out fits that do not converge) is written by
// worst_case, found next to GEN_STUDY. STUDY runs that study only. The
// window program is timed on the largest study through the window tests'
// measurement (tests/window_tests next to QUELBRO_CON, offscreen platform),
// when they are built.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Study {
  const char* name;
  int readers, treatments, nneg, npos;
  const char* kind;
};

struct Measure {
  double wall;  // seconds
  long rssKb;   // peak resident set
};

// One run in `dir` with answers.txt on standard input and the screen to
// `screen` (in `dir`, or /dev/null to discard it); `args` are the
// command-line arguments (none: the dialogue).
Measure runOnce(const std::string& exe, const std::string& dir, const std::vector<std::string>& args = {},
                const char* screen = "/dev/null") {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(exe.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // Files the run before wrote are put on the disk first: their writing-back
  // would otherwise take a core from this run.
  ::sync();
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    int in = open("answers.txt", O_RDONLY);
    int out = open(screen, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "run in %s failed\n", dir.c_str());
  return {wall, ru.ru_maxrss};
}

// The window program on a study, from its file to the finished report, in
// milliseconds as the window tests' measurement prints it; -1 when it could
// not be run.
double windowRunMs(const std::string& windowTests, const std::string& study) {
  const std::string cmd =
      "QT_QPA_PLATFORM=offscreen QUELBRO_WINDOW_STUDY='" + study + "' '" + windowTests +
      "' --gtest_filter=WindowSpeed.TheLargestStudyRunsToItsReportAndMatchesTheConsoleProgram"
      " 2>&1";
  std::FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return -1.0;
  const std::string mark = "study through the window to its report: ";
  double ms = -1.0;
  bool passed = false;
  char line[4096];
  while (std::fgets(line, sizeof line, p) != nullptr) {
    const std::string l = line;
    const auto at = l.find(mark);
    if (at != std::string::npos) ms = std::atof(l.c_str() + at + mark.size());
    if (l.find("[  PASSED  ] 1 test") != std::string::npos) passed = true;
  }
  const int status = pclose(p);
  // A run whose window output differs from the console program's does not count.
  return passed && status == 0 ? ms : -1.0;
}

const char* verdict(bool met) { return met ? "met" : "not met"; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_driver QUELBRO_CON GEN_STUDY WORKDIR [RUNS [STUDY]]\n");
    return 2;
  }
  std::string exe = argv[1], gen = argv[2], work = argv[3];
  int runs = std::max(1, argc > 4 ? std::atoi(argv[4]) : 3);
  const std::string only = argc > 5 ? argv[5] : "";
  const std::string worst = (std::filesystem::path(gen).parent_path() / "worst_case").string();
  const std::vector<Study> studies = {
      {"rating-2x2x50", 2, 2, 25, 25, "rating"},
      {"rating-4x2x100", 4, 2, 50, 50, "rating"},
      {"rating-10x5x4000", 10, 5, 2000, 2000, "rating"},
      {"cont-10x5x500", 10, 5, 250, 250, "continuous"},
      {"cont-10x5x1000", 10, 5, 500, 500, "continuous"},
      {"cont-10x5x2000", 10, 5, 1000, 1000, "continuous"},
      {"cont-10x5x4000", 10, 5, 2000, 2000, "continuous"},
      {"worst-10x5x4000", 10, 5, 2000, 2000, "worst"},
      {"worst-distinct-10x5x4000", 10, 5, 2000, 2000, "worst-distinct"},
  };
  std::printf("%-26s %8s %12s %12s %12s\n", "study", "cases", "wall s (med)", "peak MB", "screen MB");
  std::vector<std::pair<int, double>> scaling;
  std::vector<std::pair<std::string, Measure>> results;  // median wall, peak memory
  for (const Study& s : studies) {
    // The window's measurement needs the largest study's file.
    if (!only.empty() && only != s.name &&
        !(only == "win-10x5x4000" && std::string(s.name) == "cont-10x5x4000"))
      continue;
    std::string dir = work + "/" + s.name;
    std::string cmd = "mkdir -p " + dir + " && ";
    if (std::string(s.kind) == "worst-distinct") {
      cmd += worst + " emit-distinct";
    } else if (std::string(s.kind) == "worst") {
      cmd += worst + " emit " + std::to_string(s.readers) + " " + std::to_string(s.treatments);
    } else {
      cmd += gen + " " + std::to_string(s.readers) + " " + std::to_string(s.treatments) + " " +
             std::to_string(s.nneg) + " " + std::to_string(s.npos) + " " + s.kind + " 1";
    }
    cmd += " > " + dir + "/study.dat";
    if (std::system(cmd.c_str()) != 0) return 1;
    std::ofstream(dir + "/answers.txt") << "y\nstudy.dat\ny\nreport.out\nq\n";
    // A first run, not timed, keeps the screen in screen.txt for its size;
    // the timed runs discard it, as a run whose screen nobody reads.
    std::remove((dir + "/report.out").c_str());
    runOnce(exe, dir, {}, "screen.txt");
    std::vector<Measure> m;
    for (int i = 0; i < runs; ++i) {
      std::remove((dir + "/report.out").c_str());
      m.push_back(runOnce(exe, dir));
    }
    std::sort(m.begin(), m.end(), [](const Measure& a, const Measure& b) { return a.wall < b.wall; });
    const Measure& med = m[m.size() / 2];
    long peak = 0;
    for (const Measure& x : m) peak = std::max(peak, x.rssKb);
    // The worst case writes hundreds of megabytes of screen lines (every
    // failed fit's messages, once per left-out case): not kept.
    std::error_code ec;
    const auto screenBytes = std::filesystem::file_size(dir + "/screen.txt", ec);
    const double screenMb = ec ? 0.0 : static_cast<double>(screenBytes) / (1024.0 * 1024.0);
    if (screenMb > 50.0) std::filesystem::remove(dir + "/screen.txt", ec);
    std::printf("%-26s %8d %12.3f %12.1f %12.1f\n", s.name, s.nneg + s.npos, med.wall, peak / 1024.0,
                screenMb);
    if (std::string(s.kind) == "continuous") scaling.emplace_back(s.nneg + s.npos, med.wall);
    results.emplace_back(s.name, Measure{med.wall, peak});
    std::fflush(stdout);
  }
  std::printf("\ntime against cases (10 readers x 5 treatments, continuous):\n");
  for (std::size_t i = 0; i < scaling.size(); ++i) {
    std::printf("  %5d cases  %8.3f s", scaling[i].first, scaling[i].second);
    if (i > 0)
      std::printf("   x%.2f for x%.1f cases", scaling[i].second / scaling[i - 1].second,
                  static_cast<double>(scaling[i].first) / scaling[i - 1].first);
    std::printf("\n");
  }

  // The largest study run from the command line, with and without the CSV
  // tables, in turn so that a drift of the machine's speed hits both alike.
  double batchPlain = 0.0, batchTables = 0.0, tablesRatio = 0.0;
  if (only.empty() || only == "cont-10x5x4000") {
    const std::string dir = work + "/cont-10x5x4000";
    std::vector<double> plain, tables, ratios;
    const auto runPlain = [&] {
      plain.push_back(runOnce(exe, dir, {"-q", "--force", "study.dat", "-o", "batch.out"}).wall);
    };
    const auto runTables = [&] {
      tables.push_back(
          runOnce(exe, dir, {"-q", "--force", "study.dat", "-o", "batch.out", "--results", "tables/study"})
              .wall);
    };
    // Pairs in turn plain-first and tables-first, so that whatever a run
    // leaves behind for the next falls on both alike.
    for (int i = 0; i < std::max(runs, 41); ++i) {
      if (i % 2 == 0) {
        runPlain();
        runTables();
      } else {
        runTables();
        runPlain();
      }
      ratios.push_back(tables.back() / plain.back());
    }
    std::sort(plain.begin(), plain.end());
    std::sort(tables.begin(), tables.end());
    std::sort(ratios.begin(), ratios.end());
    batchPlain = plain[plain.size() / 2];
    batchTables = tables[tables.size() / 2];
    // The cost of the tables is the median of the pairs' ratios: a pair runs
    // back to back, so a drift of the machine's speed cancels out in it.
    tablesRatio = ratios[ratios.size() / 2];
    std::printf("\nlargest study from the command line (median of %zu):\n", plain.size());
    std::printf("  quelbro-con -q study.dat -o batch.out                  %8.3f s\n", batchPlain);
    std::printf("  ... --results tables/study (all six CSV tables)       %8.3f s\n", batchTables);
  }

  // The window program on the largest study, median of RUNS runs.
  const std::string largest = work + "/cont-10x5x4000/study.dat";
  const std::string windowTests =
      (std::filesystem::path(exe).parent_path() / "tests" / "window_tests").string();
  double windowMs = -1.0;
  bool windowTried = false;
  if ((only.empty() || only == "cont-10x5x4000" || only == "win-10x5x4000") &&
      std::filesystem::exists(largest) && std::filesystem::exists(windowTests)) {
    windowTried = true;
    std::vector<double> w;
    for (int i = 0; i < runs; ++i) {
      const double ms = windowRunMs(windowTests, largest);
      if (ms >= 0.0) w.push_back(ms);
    }
    std::sort(w.begin(), w.end());
    if (!w.empty()) windowMs = w[w.size() / 2];
    std::printf("\nquelbro-win offscreen, largest study from its file to the finished report: ");
    if (windowMs >= 0.0)
      std::printf("%.3f s (median of %zu)\n", windowMs / 1000.0, w.size());
    else
      std::printf("no valid run\n");
  }

  // The targets: largest study within 0.10 s and 16 MB, the harsher worst
  // case (a different failing table in every cell) within 1.0 s, the window
  // program on the largest study within 0.5 s; also the milder worst case
  // within its earlier 2 s and doubling the cases at the large end at most
  // about 2.2 times the time.
  std::printf("\ntargets:\n");
  for (const auto& [name, m] : results) {
    if (name == "cont-10x5x4000")
      std::printf("  largest study %.3f s (<= 0.10), %.1f MB (<= 16): %s\n", m.wall, m.rssKb / 1024.0,
                  verdict(m.wall <= 0.10 && m.rssKb <= 16 * 1024));
    if (name == "worst-distinct-10x5x4000")
      std::printf("  harsher worst case %.3f s (<= 1.0): %s\n", m.wall, verdict(m.wall <= 1.0));
    if (name == "worst-10x5x4000")
      std::printf("  worst case, one table in every cell %.3f s (<= 2.0): %s\n", m.wall,
                  verdict(m.wall <= 2.0));
  }
  if (windowTried) {
    if (windowMs >= 0.0)
      std::printf("  quelbro-win offscreen, largest study %.3f s (<= 0.5): %s\n", windowMs / 1000.0,
                  verdict(windowMs <= 500.0));
    else
      std::printf("  quelbro-win offscreen, largest study: not measured (no valid run): not met\n");
  }
  if (batchPlain > 0.0)
    std::printf("  CSV tables add %.1f%% to the largest study (<= 10; median of paired runs): %s\n",
                100.0 * (tablesRatio - 1.0), verdict(tablesRatio <= 1.10));
  if (scaling.size() >= 2) {
    const double ratio = scaling.back().second / scaling[scaling.size() - 2].second;
    std::printf("  doubling at the large end x%.2f (<= about 2.2): %s\n", ratio, verdict(ratio <= 2.2));
  }
  return 0;
}
