// The ROC figure as an SVG 1.1 document, and the file PREFIX-<dataset>.svg that holds it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "results/results.h"
#include "results/roc_figure.h"

namespace quelbro {

// Text made safe for XML character data and attribute values: markup characters escaped,
// characters XML cannot carry dropped, bytes that are not UTF-8 read as Latin-1.
std::string xmlText(std::string_view s);

std::string svgDocument(const RocFigure& fig);

// Writes the document to `path`; false (with the reason in `error`) when it cannot be written.
bool writeSvgFile(const std::string& path, const RocFigure& fig, std::string& error);

// PREFIX-<dataset>.svg for the 1-based dataset number of the run.
std::string plotFileName(const std::string& prefix, int dataset);

// Writes PREFIX-<dataset>.svg for every dataset the run finishes (quelbro-con --plot PREFIX).
// An existing file is replaced only when `replace` is set. A file that cannot be written does
// not stop the run: its name and the reason are kept.
class PlotFiles : public RunObserver {
 public:
  explicit PlotFiles(std::string prefix, bool replace = true)
      : prefix_(std::move(prefix)), replace_(replace) {}
  void datasetFinished(const DatasetResults& results) override;
  bool needsPseudovalues(int /*dataset*/) const override { return false; }  // the curves come from the fits
  const std::vector<std::string>& written() const { return written_; }
  const std::vector<std::string>& failures() const { return failures_; }  // "FILE: reason"

 private:
  std::string prefix_;
  bool replace_;
  std::vector<std::string> written_, failures_;
};

}  // namespace quelbro
