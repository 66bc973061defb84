// A private working folder for one fuzzing process: the program names its
// files relative to the current folder, so each run happens in here.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace quelbro::fuzz {

// Creates <tmp>/quelbro-fuzz-XXXXXX/a/b/work and makes it the current folder.
// The two levels above the working folder are never empty, so a typed name
// such as ".." can never remove anything. The whole tree goes at exit.
inline const std::filesystem::path& workDir() {
  static const std::filesystem::path dir = [] {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quelbro-fuzz-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) std::abort();
    static const std::string root = tmpl;
    std::filesystem::path w = std::filesystem::path(root) / "a" / "b" / "work";
    std::filesystem::create_directories(w);
    std::filesystem::current_path(w);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
      std::filesystem::remove_all(root, ec);
    });
    return w;
  }();
  return dir;
}

// Removes whatever an earlier run left in the working folder.
inline void emptyWorkDir() {
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(workDir(), ec)) {
    std::error_code ec2;
    std::filesystem::remove_all(e.path(), ec2);
  }
}

}  // namespace quelbro::fuzz
