// RunObservers: every observer sees every dataset and adds its lines after the report, in order.
#include "results/run_observers.h"

#include <gtest/gtest.h>

namespace quelbro {
namespace {

class Noting : public RunObserver {
 public:
  Noting(std::string name, std::vector<std::string>& log) : name_(std::move(name)), log_(log) {}
  std::vector<std::string> linesAfterReport(const DatasetResults& r) override {
    return {name_ + " after " + std::to_string(r.dataset)};
  }
  void datasetFinished(const DatasetResults& r) override {
    log_.push_back(name_ + " " + std::to_string(r.dataset));
  }

 private:
  std::string name_;
  std::vector<std::string>& log_;
};

TEST(RunObservers, HandsEveryDatasetToEachAndJoinsTheirLines) {
  std::vector<std::string> log;
  Noting a("a", log), b("b", log);
  RunObservers both({&a, nullptr, &b});
  EXPECT_FALSE(both.empty());
  EXPECT_TRUE(RunObservers({nullptr}).empty());
  DatasetResults r;
  r.dataset = 3;
  EXPECT_EQ(both.linesAfterReport(r), (std::vector<std::string>{"a after 3", "b after 3"}));
  both.datasetFinished(r);
  EXPECT_EQ(log, (std::vector<std::string>{"a 3", "b 3"}));
}

}  // namespace
}  // namespace quelbro
