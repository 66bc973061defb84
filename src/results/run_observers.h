// Several observers of one run: each finished dataset is handed to every one of them in turn.
#pragma once

#include <string>
#include <vector>

#include "results/results.h"

namespace quelbro {

class RunObservers : public RunObserver {
 public:
  // Null entries are left out, so that optional observers can be listed as they are.
  explicit RunObservers(std::vector<RunObserver*> list) {
    for (RunObserver* o : list)
      if (o != nullptr) list_.push_back(o);
  }
  // Every observer's lines, in the order of the list.
  std::vector<std::string> linesAfterReport(const DatasetResults& results) override {
    std::vector<std::string> lines;
    for (RunObserver* o : list_) {
      std::vector<std::string> more = o->linesAfterReport(results);
      lines.insert(lines.end(), more.begin(), more.end());
    }
    return lines;
  }
  void pseudovaluesFinished(const PseudovalueCells& cells) override {
    for (RunObserver* o : list_) o->pseudovaluesFinished(cells);
  }
  void pseudovaluesWithdrawn() override {
    for (RunObserver* o : list_) o->pseudovaluesWithdrawn();
  }
  bool needsPseudovalues(int dataset) const override {
    for (const RunObserver* o : list_)
      if (o->needsPseudovalues(dataset)) return true;
    return false;
  }
  void datasetFinished(const DatasetResults& results) override {
    for (RunObserver* o : list_) o->datasetFinished(results);
  }
  bool empty() const { return list_.empty(); }

 private:
  std::vector<RunObserver*> list_;
};

}  // namespace quelbro
