// The process's figures in the Prometheus text format (metrics.h).
#include "web/metrics.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tabulo::web {
namespace {

std::string Number(double value) {
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  if (std::isnan(value)) return "NaN";
  if (value == std::floor(value) && std::fabs(value) < 1e15) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

// The label text with one more label appended (a histogram's "le").
std::string WithLabel(const std::string& labels, const std::string& name,
                      const std::string& value) {
  const std::string added = name + "=\"" + value + "\"";
  if (labels.empty()) return "{" + added + "}";
  return labels.substr(0, labels.size() - 1) + "," + added + "}";
}

const char* TypeName(Metrics::Type type) {
  switch (type) {
    case Metrics::Type::kCounter:
      return "counter";
    case Metrics::Type::kGauge:
      return "gauge";
    case Metrics::Type::kHistogram:
      return "histogram";
  }
  return "untyped";
}

}  // namespace

std::string LabelText(const Labels& labels) {
  if (labels.empty()) return "";
  std::string text = "{";
  for (const auto& [name, value] : labels) {
    if (text.size() > 1) text += ',';
    text += name + "=\"";
    for (char c : value) {
      if (c == '\\' || c == '"') text += '\\';
      if (c == '\n') {
        text += "\\n";
        continue;
      }
      text += c;
    }
    text += '"';
  }
  return text + "}";
}

Metrics& Metrics::Process() {
  static Metrics* metrics = new Metrics();  // never destroyed: threads may count at exit
  return *metrics;
}

void Metrics::Declare(const std::string& name, Type type, const std::string& help,
                      std::vector<double> buckets) {
  std::lock_guard lock(mu_);
  if (families_.count(name)) return;
  Family& family = families_[name];
  family.type = type;
  family.help = help;
  family.buckets = std::move(buckets);
}

Metrics::Series* Metrics::Find(const std::string& name, const Labels& labels, Type* type,
                               Family** family) {
  auto it = families_.find(name);
  if (it == families_.end()) return nullptr;
  *type = it->second.type;
  *family = &it->second;
  Series& series = it->second.series[LabelText(labels)];
  if (*type == Type::kHistogram && series.in_bucket.empty())
    series.in_bucket.assign(it->second.buckets.size(), 0);
  return &series;
}

void Metrics::Add(const std::string& name, const Labels& labels, double by) {
  std::lock_guard lock(mu_);
  Type type;
  Family* family;
  Series* series = Find(name, labels, &type, &family);
  if (series && type != Type::kHistogram) series->value += by;
}

void Metrics::Set(const std::string& name, const Labels& labels, double value) {
  std::lock_guard lock(mu_);
  Type type;
  Family* family;
  Series* series = Find(name, labels, &type, &family);
  if (series && type != Type::kHistogram) series->value = value;
}

void Metrics::Observe(const std::string& name, const Labels& labels, double value) {
  std::lock_guard lock(mu_);
  Type type;
  Family* family;
  Series* series = Find(name, labels, &type, &family);
  if (!series || type != Type::kHistogram) return;
  series->value += value;
  ++series->count;
  for (size_t i = 0; i < family->buckets.size(); ++i) {
    if (value <= family->buckets[i]) {
      ++series->in_bucket[i];
      break;
    }
  }
}

double Metrics::Value(const std::string& name, const Labels& labels) const {
  std::lock_guard lock(mu_);
  auto it = families_.find(name);
  if (it == families_.end()) return 0;
  auto series = it->second.series.find(LabelText(labels));
  if (series == it->second.series.end()) return 0;
  return it->second.type == Type::kHistogram ? static_cast<double>(series->second.count)
                                             : series->second.value;
}

void Metrics::Clear(const std::string& name) {
  std::lock_guard lock(mu_);
  auto it = families_.find(name);
  if (it != families_.end()) it->second.series.clear();
}

int Metrics::AddCollector(std::function<void(Metrics&)> collect) {
  std::lock_guard lock(collect_mu_);
  collectors_[++next_collector_] = std::move(collect);
  return next_collector_;
}

void Metrics::RemoveCollector(int id) {
  std::lock_guard lock(collect_mu_);
  collectors_.erase(id);
}

std::string Metrics::Text() {
  {
    std::lock_guard lock(collect_mu_);
    for (auto& [id, collect] : collectors_) collect(*this);
  }
  std::lock_guard lock(mu_);
  std::ostringstream out;
  for (const auto& [name, family] : families_) {
    if (family.series.empty()) continue;
    out << "# HELP " << name << ' ' << family.help << "\n# TYPE " << name << ' '
        << TypeName(family.type) << '\n';
    for (const auto& [labels, series] : family.series) {
      if (family.type != Type::kHistogram) {
        out << name << labels << ' ' << Number(series.value) << '\n';
        continue;
      }
      uint64_t cumulative = 0;
      for (size_t i = 0; i < family.buckets.size(); ++i) {
        cumulative += series.in_bucket[i];
        out << name << "_bucket" << WithLabel(labels, "le", Number(family.buckets[i])) << ' '
            << cumulative << '\n';
      }
      out << name << "_bucket" << WithLabel(labels, "le", "+Inf") << ' ' << series.count << '\n'
          << name << "_sum" << labels << ' ' << Number(series.value) << '\n'
          << name << "_count" << labels << ' ' << series.count << '\n';
    }
  }
  return out.str();
}

int64_t ResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) != 0) continue;
    return std::atoll(line.c_str() + 6) * 1024;
  }
  return 0;
}

}  // namespace tabulo::web
