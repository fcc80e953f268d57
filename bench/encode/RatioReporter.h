// Console reporter that also keeps the fastest time of every benchmark run, so
// a benchmark main can print ratios between a reference and our code measured
// in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // No colour codes, so the ratio lines printed after the table start clean.
  RatioReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      const double seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
      // The name without its decorations ("/repeats:N", "/real_time"): "BM_X/arg/arg".
      std::string name = run.run_name.function_name;
      if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
      auto it = best_.find(name);
      if (it == best_.end())
        best_[name] = seconds;
      else
        it->second = std::min(it->second, seconds);
    }
    ConsoleReporter::ReportRuns(runs);
  }
  // Fastest seconds per iteration of the benchmark named `name`; 0 when it did not run.
  double seconds(const std::string& name) const {
    auto it = best_.find(name);
    return it == best_.end() ? 0.0 : it->second;
  }

 private:
  std::map<std::string, double> best_;
};
