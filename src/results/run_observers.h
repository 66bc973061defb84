// Several observers of one run: each finished dataset is handed to every one of them in turn.
#pragma once

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
  void datasetFinished(const DatasetResults& results) override {
    for (RunObserver* o : list_) o->datasetFinished(results);
  }
  bool empty() const { return list_.empty(); }

 private:
  std::vector<RunObserver*> list_;
};

}  // namespace quelbro
