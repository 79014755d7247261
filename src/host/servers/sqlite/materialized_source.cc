// The general path: the rows themselves, in memory up to a bound and in a record file of the
// store beyond (record_file.h). Both keep SQLite's own values (no conversion) in result order.
//
// Copy behind: a result that outgrows the bound on a connection allowed to keep its read
// transaction (WAL) is not copied whole before the first window. Its count is taken by a
// count(*) of the statement, and the copy runs on a thread of its own while the source is
// already read. The copy runs the statement as a subquery with an OFFSET parameter (0); a row
// the copy has not written yet is read directly by a second run of that same text with the
// OFFSET at the row (skipping rows does not compute their values). Same text, same connection,
// same read transaction: the same program over the same data, so the rows come in the copy's
// order, ties included. Only statements whose rows do not depend on the moment they are
// computed (no random(), changes(), 'now' ...) are read so.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "host/data_server.h"
#include "host/servers/sqlite/record_file.h"
#include "host/servers/sqlite/snapshot_sources.h"
#include "host/sql_tokens.h"

namespace tabulo::host::sqlite {
namespace {

using Row = std::vector<RawValue>;

// Whether `sql` computes the same rows every time it runs over the same data: none of the
// functions whose value depends on the moment or the connection, in the statement or in any
// view it names (views of `views`, name in lower case to its statement).
bool RowsFixedByData(std::string_view sql, const std::map<std::string, std::string>& views,
                     std::set<std::string>& seen) {
  for (const SqlToken& token : TokenizeSql(sql)) {
    if (token.IsAnyOf({"random", "randomblob", "changes", "total_changes", "last_insert_rowid",
                       "current_time", "current_date", "current_timestamp"}))
      return false;
    // 'now' as a date: a string, or a quoted name that names no column (SQLite takes it for a
    // string then).
    std::string text = token.kind == SqlToken::String ? std::string(token.text) : token.Name();
    std::transform(text.begin(), text.end(), text.begin(), ::tolower);
    if (text == (token.kind == SqlToken::String ? "'now'" : "now") && token.kind != SqlToken::Word)
      return false;
    if (token.kind != SqlToken::Word && token.kind != SqlToken::QuotedName) continue;
    const auto view = views.find(text);
    if (view != views.end() && seen.insert(text).second &&
        !RowsFixedByData(view->second, views, seen))
      return false;
  }
  return true;
}

// The text of the prepared `stmt` without a closing semicolon.
std::string StatementText(sqlite3_stmt* stmt) {
  std::string text = sqlite3_sql(stmt);
  while (!text.empty() &&
         (text.back() == ';' || std::isspace(static_cast<unsigned char>(text.back()))))
    text.pop_back();
  return text;
}

class MaterializedSource : public RowSource {
 public:
  MaterializedSource(std::shared_ptr<TempStore> store, std::vector<ColumnSpec> columns,
                     size_t memory_bound)
      : store_(std::move(store)), columns_(std::move(columns)), memory_bound_(memory_bound) {}

  ~MaterializedSource() override {
    if (!copier_.joinable()) return;
    stop_ = true;
    // A statement may take long over a single row: its step is interrupted too.
    sqlite3_interrupt(db_.get());
    { std::lock_guard<std::mutex> lock(mutex_); }
    turn_.notify_all();
    copier_.join();
  }

  // Copies the rows of `stmt`, all of them unless `behind` (when it may) takes over the
  // connection and the statement to copy the rest on a thread of its own.
  void Fill(Db* behind, Stmt& stmt, const std::filesystem::path& db_path,
            const ProgressReport& progress) {
    sqlite3* db = sqlite3_db_handle(stmt.get());
    const int n = sqlite3_column_count(stmt.get());
    size_t bytes = 0;
    const auto started = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point next_report{};
    while (Step(db, stmt.get(), db_path)) {
      if (progress.sink && count_ > 0 && count_ % 4096 == 0) {
        ReportProgressIfDue(progress.sink, count_, started, progress.after, &next_report);
      }
      if (file_) {
        // Straight from the query into the file: no copy of the values on the way.
        file_->AppendFrom(stmt.get(), n);
        ++count_;
        continue;
      }
      Row row;
      row.reserve(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) row.push_back(ReadRaw(stmt.get(), i));
      if (count_ == 0) TypeByFirstRow(columns_, row);
      ++count_;
      for (const auto& v : row) bytes += v.ByteSize();
      rows_.push_back(std::move(row));
      if (bytes > memory_bound_) {
        if (behind && CopyBehind(*behind, stmt, db_path)) {
          rows_.clear();
          rows_.shrink_to_fit();
          infos_ = Infos(columns_);
          return;
        }
        Spill(n);
      }
    }
    if (file_) file_->Finish();
    infos_ = Infos(columns_);
  }

  bool spilled() const { return file_ != nullptr; }

  const std::vector<ColumnInfo>& Columns() const override { return infos_; }
  int64_t Count() const override { return count_; }

  std::vector<platform::Variant> ReadRow(int64_t position) override {
    if (!file_) return ToVariants(columns_, rows_[static_cast<size_t>(position)]);
    if (!db_) return ToVariants(columns_, file_->Read(position));
    return ToVariants(columns_, Fetch(position));
  }

  int64_t Scan(int64_t first, int64_t count, bool forward, const ScanVisitor& visit) override {
    const int64_t length = ScanLength(count_, first, count, forward);
    for (int64_t k = 0; k < length; ++k) {
      const int64_t position = forward ? first + k : first - k;
      bool go;
      if (!file_) {
        go = visit(position, RawRecord(columns_, rows_[static_cast<size_t>(position)]));
      } else {
        const Row row = db_ ? Fetch(position) : file_->Read(position);
        go = visit(position, RawRecord(columns_, row));
      }
      if (!go) return k + 1;
    }
    return length;
  }

 private:
  // Rows the direct reads keep around the one asked for: a window's worth before and after.
  static constexpr int64_t kKeepBefore = 64;
  static constexpr int64_t kKeepAfter = 192;
  // Rows the copy writes between two looks at waiting readers.
  static constexpr int kBatchRows = 1024;

  void Spill(int n) {
    file_ = std::make_unique<RecordFile>(std::make_unique<TempFile>(store_->NewPath(".rows")),
                                         static_cast<size_t>(n));
    for (const auto& row : rows_) file_->Append(row);
    rows_.clear();
    rows_.shrink_to_fit();
  }

  // Takes the count and starts the copy on a thread of its own, taking over the connection
  // (`stmt` is finalized); false (nothing taken) when the statement's rows may differ from one
  // run to the next, or it cannot be counted or run as a subquery.
  bool CopyBehind(Db& db, Stmt& stmt, const std::filesystem::path& db_path) {
    // A parameter (unbound, so NULL) would be numbered alike with the OFFSET's.
    if (sqlite3_bind_parameter_count(stmt.get()) > 0) return false;
    const std::string text = StatementText(stmt.get());
    if (!SameRowsEveryRun(db.get(), text, db_path)) return false;
    // The closing parenthesis on a line of its own: the statement may end in a comment.
    Stmt counting = TryPrepare(db.get(), "SELECT count(*) FROM (" + text + "\n)");
    wrapped_ = "SELECT * FROM (" + text + "\n) LIMIT -1 OFFSET ?1";
    Stmt copy = TryPrepare(db.get(), wrapped_);
    if (!counting || !copy) return false;
    Step(db.get(), counting.get(), db_path);
    const int64_t total = sqlite3_column_int64(counting.get(), 0);
    // A count below the rows already read: the statement's rows differ between runs after all.
    if (total < count_) return false;
    // The copy starts over with the statement the direct reads run too (an OFFSET skips rows
    // without computing their values): the rows read so far are a few, and they came from
    // another program, which might order ties otherwise.
    sqlite3_bind_int64(copy.get(), 1, 0);
    file_ = std::make_unique<RecordFile>(std::make_unique<TempFile>(store_->NewPath(".rows")),
                                         static_cast<size_t>(sqlite3_column_count(copy.get())));
    stmt.reset();
    count_ = total;
    path_ = db_path;
    db_ = std::move(db);
    stmt_ = std::move(copy);
    copier_ = std::thread([this] { CopyRest(); });
    return true;
  }

  static Stmt TryPrepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
      sqlite3_finalize(raw);
      return nullptr;
    }
    return Stmt(raw);
  }

  // The copy thread: the rest of the rows into the file, a batch at a time, giving way to
  // readers between batches; the read transaction ends with the copy.
  void CopyRest() {
    const int n = sqlite3_column_count(stmt_.get());
    std::unique_lock<std::mutex> lock(mutex_);
    try {
      for (;;) {
        turn_.wait(lock, [this] { return waiting_ == 0 || stop_; });
        if (stop_) return;
        for (int k = 0; k < kBatchRows && !stop_; ++k) {
          if (!Step(db_.get(), stmt_.get(), path_)) {
            file_->Finish();
            finished_ = true;
            stmt_.reset();
            direct_.reset();
            Exec(db_.get(), "COMMIT", path_);
            return;
          }
          file_->AppendFrom(stmt_.get(), n);
        }
        lock.unlock();
        lock.lock();
      }
    } catch (const std::exception&) {
      // The copy stops (a full disk, a failing store); the rows it did not write are read
      // directly, inside the read transaction that stays open.
      stmt_.reset();
    }
  }

  // A reader's turn: the lock, and the copy told to go on when it ends.
  struct Turn {
    explicit Turn(MaterializedSource& source) : source(source), lock(source.mutex_) {}
    ~Turn() {
      lock.unlock();
      source.turn_.notify_all();
    }
    MaterializedSource& source;
    std::unique_lock<std::mutex> lock;
  };

  // The row at `position` while the copy goes on: from the file once written there, else
  // directly.
  Row Fetch(int64_t position) {
    const int64_t kept = position - kept_first_;
    if (kept >= 0 && kept < static_cast<int64_t>(kept_.size()))
      return kept_[static_cast<size_t>(kept)];
    ++waiting_;
    Turn turn(*this);
    --waiting_;
    if (position < file_->Readable()) return file_->Read(position);
    // The copy ended short of the count: the rows differ between runs after all.
    if (finished_) {
      throw platform::ComError(kErrSourceUnusable,
                               "The query gave fewer rows when its rows were copied than when "
                               "they were counted; open it again.",
                               kErrorSource);
    }
    return ReadDirectly(position);
  }

  // Reads the rows around `position` with the copy's statement run a second time, from an
  // OFFSET or on from where it stands when that is close, and keeps them. REQUIRES: the lock
  // held.
  Row ReadDirectly(int64_t position) {
    // Moving backwards the rows kept lie mostly before the one asked for, else mostly after.
    const int64_t before = position < kept_first_ ? kKeepBefore + kKeepAfter - 1 : kKeepBefore;
    int64_t first = std::max<int64_t>(position - before, 0);
    if (direct_ && direct_next_ > first && direct_next_ <= position) first = direct_next_;
    if (!direct_ || direct_next_ > first || first - direct_next_ > kKeepAfter) {
      if (!direct_) direct_ = Prepare(db_.get(), wrapped_, path_);
      sqlite3_reset(direct_.get());
      sqlite3_bind_int64(direct_.get(), 1, first);
      direct_next_ = first;
    }
    for (; direct_next_ < first; ++direct_next_) StepDirect();
    kept_.clear();
    kept_first_ = first;
    const int n = sqlite3_column_count(direct_.get());
    for (; direct_next_ < std::min(first + kKeepBefore + kKeepAfter, count_); ++direct_next_) {
      StepDirect();
      Row row;
      row.reserve(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) row.push_back(ReadRaw(direct_.get(), i));
      kept_.push_back(std::move(row));
    }
    return kept_[static_cast<size_t>(position - first)];
  }

  void StepDirect() {
    if (!Step(db_.get(), direct_.get(), path_)) {
      throw platform::ComError(kErrSourceUnusable,
                               "The query gave fewer rows on a second run than it counted; "
                               "open it again.",
                               kErrorSource);
    }
  }

  std::shared_ptr<TempStore> store_;
  std::unique_ptr<RecordFile> file_;
  std::vector<ColumnSpec> columns_;
  std::vector<ColumnInfo> infos_;
  size_t memory_bound_;
  std::vector<Row> rows_;
  int64_t count_ = 0;

  // Copy behind (db_ set): the connection in its read transaction, the statement being copied
  // and its second run for direct reads, all used under `mutex_`.
  std::filesystem::path path_;
  std::string wrapped_;  // the statement as a subquery, with its OFFSET parameter
  Db db_;
  Stmt stmt_;
  Stmt direct_;
  int64_t direct_next_ = 0;  // the row the second run's next step gives
  bool finished_ = false;
  std::mutex mutex_;
  std::condition_variable turn_;
  std::atomic<int> waiting_{0};
  std::atomic<bool> stop_{false};
  std::thread copier_;
  // The rows the last direct read kept, from `kept_first_`; the reader's own.
  std::vector<Row> kept_;
  int64_t kept_first_ = 0;
};

}  // namespace

bool SameRowsEveryRun(sqlite3* db, std::string_view sql, const std::filesystem::path& path) {
  std::map<std::string, std::string> views;
  Stmt list = Prepare(db, "SELECT name, sql FROM main.sqlite_master WHERE type = 'view'", path);
  while (Step(db, list.get(), path)) {
    std::string name = reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 0));
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 1));
    views[name] = text ? text : "";
  }
  std::set<std::string> seen;
  return RowsFixedByData(sql, views, seen);
}

std::unique_ptr<RowSource> MaterializeRows(Db* behind, Stmt& stmt, std::vector<ColumnSpec> columns,
                                           const std::filesystem::path& db_path,
                                           std::shared_ptr<TempStore> store, size_t memory_bound,
                                           bool* spilled, const ProgressReport& progress) {
  auto source =
      std::make_unique<MaterializedSource>(std::move(store), std::move(columns), memory_bound);
  source->Fill(behind, stmt, db_path, progress);
  if (spilled) *spilled = source->spilled();
  return source;
}

}  // namespace tabulo::host::sqlite
