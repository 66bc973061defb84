// Runs quelbro-con end to end on generated studies (answers from a script,
// report to a file) and prints wall time and peak memory of each run.
//   bench_driver QUELBRO_CON GEN_STUDY WORKDIR [RUNS]
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

Measure runOnce(const std::string& exe, const std::string& dir) {
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    int in = open("answers.txt", O_RDONLY);
    int out = open("screen.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "run in %s failed\n", dir.c_str());
  return {wall, ru.ru_maxrss};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_driver QUELBRO_CON GEN_STUDY WORKDIR [RUNS]\n");
    return 2;
  }
  std::string exe = argv[1], gen = argv[2], work = argv[3];
  int runs = argc > 4 ? std::atoi(argv[4]) : 3;
  const std::vector<Study> studies = {
      {"rating-2x2x50", 2, 2, 25, 25, "rating"},
      {"rating-4x2x100", 4, 2, 50, 50, "rating"},
      {"rating-10x5x4000", 10, 5, 2000, 2000, "rating"},
      {"cont-10x5x500", 10, 5, 250, 250, "continuous"},
      {"cont-10x5x1000", 10, 5, 500, 500, "continuous"},
      {"cont-10x5x2000", 10, 5, 1000, 1000, "continuous"},
      {"cont-10x5x4000", 10, 5, 2000, 2000, "continuous"},
  };
  std::printf("%-20s %8s %12s %12s\n", "study", "cases", "wall s (med)", "peak MB");
  std::vector<std::pair<int, double>> scaling;
  for (const Study& s : studies) {
    std::string dir = work + "/" + s.name;
    std::string cmd = "mkdir -p " + dir + " && " + gen + " " + std::to_string(s.readers) + " " +
                      std::to_string(s.treatments) + " " + std::to_string(s.nneg) + " " +
                      std::to_string(s.npos) + " " + s.kind + " 1 > " + dir + "/study.dat";
    if (std::system(cmd.c_str()) != 0) return 1;
    std::ofstream(dir + "/answers.txt") << "y\nstudy.dat\ny\nreport.out\nq\n";
    std::vector<Measure> m;
    for (int i = 0; i < runs; ++i) {
      std::remove((dir + "/report.out").c_str());
      m.push_back(runOnce(exe, dir));
    }
    std::sort(m.begin(), m.end(), [](const Measure& a, const Measure& b) { return a.wall < b.wall; });
    const Measure& med = m[m.size() / 2];
    long peak = 0;
    for (const Measure& x : m) peak = std::max(peak, x.rssKb);
    std::printf("%-20s %8d %12.3f %12.1f\n", s.name, s.nneg + s.npos, med.wall, peak / 1024.0);
    if (std::string(s.kind) == "continuous") scaling.emplace_back(s.nneg + s.npos, med.wall);
  }
  std::printf("\ntime against cases (10 readers x 5 treatments, continuous):\n");
  for (std::size_t i = 0; i < scaling.size(); ++i) {
    std::printf("  %5d cases  %8.3f s", scaling[i].first, scaling[i].second);
    if (i > 0) std::printf("   x%.2f for x%.1f cases", scaling[i].second / scaling[i - 1].second,
                           static_cast<double>(scaling[i].first) / scaling[i - 1].first);
    std::printf("\n");
  }
  return 0;
}
