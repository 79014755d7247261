// The display's figures for a monitoring system: counters, gauges and histograms of one
// process, written out in the Prometheus text exposition format (GET /metrics). A family is
// declared once with its help text; its series are told apart by labels. Every call is
// thread-safe: the HTTP workers, the sessions' threads and the display's thread all count.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace tabulo::web {

using Labels = std::vector<std::pair<std::string, std::string>>;

class Metrics {
 public:
  enum class Type { kCounter, kGauge, kHistogram };

  // The process's one registry.
  static Metrics& Process();

  // Declares a family (again: kept as first declared). Histograms count observations at or
  // below each bucket's upper bound, in seconds, ascending; +Inf is added.
  void Declare(const std::string& name, Type type, const std::string& help,
               std::vector<double> buckets = {});
  // A counter or gauge moved by `by` (a gauge may go down); a family not declared is ignored.
  void Add(const std::string& name, const Labels& labels = {}, double by = 1);
  void Set(const std::string& name, const Labels& labels, double value);
  void Observe(const std::string& name, const Labels& labels, double value);
  // A series' present value (a histogram's: its count); 0 when it has none.
  double Value(const std::string& name, const Labels& labels = {}) const;
  // Drops every series of a family (a gauge of names that come and go).
  void Clear(const std::string& name);

  // Called, in order of adding, before each Text(): sets the gauges read from elsewhere.
  int AddCollector(std::function<void(Metrics&)> collect);
  void RemoveCollector(int id);

  // Every family with a series, sorted by name: "# HELP", "# TYPE", then its samples.
  std::string Text();

 private:
  struct Series {
    double value = 0;                 // counter, gauge; a histogram's sum
    uint64_t count = 0;               // histogram
    std::vector<uint64_t> in_bucket;  // histogram: observations per bucket (not cumulative)
  };
  struct Family {
    Type type = Type::kCounter;
    std::string help;
    std::vector<double> buckets;
    std::map<std::string, Series> series;  // by label text
  };
  Series* Find(const std::string& name, const Labels& labels, Type* type, Family** family);

  mutable std::mutex mu_;
  std::map<std::string, Family> families_;
  std::mutex collect_mu_;  // held while collectors run (they call back in)
  std::map<int, std::function<void(Metrics&)>> collectors_;
  int next_collector_ = 0;
};

// `labels` as the exposition format writes them: {a="x",b="y"} ("" when none), the values'
// backslashes, quotes and line breaks escaped.
std::string LabelText(const Labels& labels);

// The resident memory of this process in bytes (VmRSS), 0 when it cannot be read.
int64_t ResidentBytes();

}  // namespace tabulo::web
