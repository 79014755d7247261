// The key path: the count and first window under an exported snapshot, a background pass that
// collects the keys under the same snapshot into a KeyList, windows read by key. In key order
// a third connection holds the snapshot while the pass runs and locates the keys of windows
// the pass has not reached from the split the count measured.
#include "host/servers/pg/pg_key_source.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include "host/data_server.h"
#include "host/key_list.h"
#include "host/servers/pg/pg_values.h"

namespace tabulo::host::pg {
namespace {

using platform::ComError;

constexpr const char* kReadStatement = "tabulo_read";
constexpr const char* kSeekUp = "tabulo_seek_up";
constexpr const char* kSeekDown = "tabulo_seek_down";

// The name of the seeking connection as the server lists it.
constexpr const char* kSeekApplication = "tabulo key seek";

// Blocks of kKeyWindow records kept by the record set.
constexpr size_t kCachedBlocks = 64;

// Keys handed to the record set at a time (one lock each).
constexpr size_t kPublishEvery = 4096;

// What the record set and its key pass share; guarded by `mutex`.
struct KeyPass {
  std::mutex mutex;
  std::condition_variable changed;
  KeyList keys;
  int64_t expected = -1;  // the count, known when `go` is set
  bool imported = false;  // the pass holds the snapshot: the loader may end its transaction
  bool go = false;        // the loader has ended its transaction: stream the keys
  bool stop = false;      // the record set is closing
  bool done = false;      // the pass has ended (all keys, or `error`)
  std::optional<ComError> error;
  PGcancel* cancel = nullptr;  // while the pass's connection is open

  // The connection in the snapshot that locates keys ahead of the pass; kept idle (its
  // snapshot released) when the pass ends. Guarded by `seek_mutex`, which is never taken with
  // `mutex`.
  std::mutex seek_mutex;
  Conn seek;
  Endpoint seek_endpoint;
};

// The start of a transaction in the load's snapshot, in one round trip.
std::string InSnapshot(const std::string& snapshot) {
  return "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY; SET TRANSACTION SNAPSHOT '" + snapshot +
         "'; SET LOCAL jit = off";
}

ComError PassError(const std::string& label, const std::string& why) {
  return ComError(kErrSourceUnusable,
                  "The keys of the result on " + label + " cannot be read: " + why, kErrorSource);
}

uint64_t BigEndian(const unsigned char* p, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
  return v;
}

// Appends the keys of one message of a binary COPY of one integer column to `out`; false when
// the message is not one.
bool ParseCopyData(const unsigned char* data, size_t size, bool* header_read,
                   std::vector<int64_t>* out) {
  static const unsigned char kSignature[] = {'P',  'G',  'C',  'O',  'P', 'Y',
                                             '\n', 0xFF, '\r', '\n', 0};
  size_t p = 0;
  if (!*header_read) {
    if (size < 19 || std::memcmp(data, kSignature, sizeof kSignature) != 0) return false;
    p = 19 + BigEndian(data + 15, 4);
    *header_read = true;
  }
  while (p < size) {
    if (p + 2 > size) return false;
    const auto fields = static_cast<int16_t>(BigEndian(data + p, 2));
    p += 2;
    if (fields == -1) return p == size;  // the trailer
    if (fields != 1 || p + 4 > size) return false;
    const auto length = static_cast<int32_t>(BigEndian(data + p, 4));
    p += 4;
    if ((length != 2 && length != 4 && length != 8) || p + static_cast<size_t>(length) > size)
      return false;
    const uint64_t raw = BigEndian(data + p, length);
    const int shift = 64 - 8 * length;  // sign-extends a narrower integer
    out->push_back(static_cast<int64_t>(raw << shift) >> shift);
    p += static_cast<size_t>(length);
  }
  return true;
}

// Hands `batch` to the record set; true when the record set is closing.
bool Publish(KeyPass& pass, std::vector<int64_t>* batch) {
  std::lock_guard lock(pass.mutex);
  for (int64_t key : *batch) pass.keys.Append(key);
  batch->clear();
  pass.changed.notify_all();
  return pass.stop;
}

// Opens the seeking connection in `snapshot` (on its own thread, beside the count); leaves
// none when it cannot, and the windows then wait for the pass.
void OpenSeek(std::shared_ptr<KeyPass> pass, Endpoint endpoint, std::string snapshot,
              std::string up, std::string down) {
  try {
    endpoint.application = kSeekApplication;
    Conn conn = TakeAndRun(endpoint, InSnapshot(snapshot));
    for (const auto& [name, sql] : {std::pair{kSeekUp, &up}, std::pair{kSeekDown, &down}}) {
      Result prepared(PQprepare(conn.get(), name, sql->c_str(), 0, nullptr));
      if (!prepared || PQresultStatus(prepared.get()) != PGRES_COMMAND_OK) return;
    }
    std::lock_guard lock(pass->seek_mutex);
    pass->seek = std::move(conn);
    pass->seek_endpoint = std::move(endpoint);
  } catch (const std::exception&) {
    // Windows wait for the pass instead.
  }
}

// Ends the seeking connection's transaction and keeps it idle for the next load: the pass has
// ended, so its snapshot is no longer needed.
void CloseSeek(KeyPass& pass) {
  Conn closing;
  Endpoint endpoint;
  {
    std::lock_guard lock(pass.seek_mutex);
    closing = std::move(pass.seek);
    endpoint = pass.seek_endpoint;
  }
  ResetAndKeepIdle(endpoint, std::move(closing));
}

// The pass, on its own thread and connection.
void RunPass(std::shared_ptr<KeyPass> pass, Endpoint endpoint, std::string snapshot,
             std::string sql) {
  const std::string label = endpoint.label;
  std::optional<ComError> error;
  endpoint.application = kKeyPassApplication;
  Conn conn;
  try {
    conn = TakeAndRun(endpoint, InSnapshot(snapshot));
    {
      std::unique_lock lock(pass->mutex);
      pass->imported = true;
      pass->cancel = PQgetCancel(conn.get());
      pass->changed.notify_all();
      pass->changed.wait(lock, [&] { return pass->go || pass->stop; });
      if (pass->stop) throw PassError(label, "the record set was closed");
    }
    if (!PQsendQuery(conn.get(), sql.c_str())) throw ErrorOf(conn.get(), nullptr, label);
    Result started(PQgetResult(conn.get()));
    if (!started || PQresultStatus(started.get()) != PGRES_COPY_OUT)
      throw ErrorOf(conn.get(), started.get(), label);
    std::vector<int64_t> batch;
    bool header_read = false;
    for (;;) {
      char* buffer = nullptr;
      const int size = PQgetCopyData(conn.get(), &buffer, 0);
      if (size == -1) break;
      if (size < 0) {
        Result failed(PQgetResult(conn.get()));
        throw ErrorOf(conn.get(), failed.get(), label);
      }
      const bool parsed = ParseCopyData(reinterpret_cast<const unsigned char*>(buffer),
                                        static_cast<size_t>(size), &header_read, &batch);
      PQfreemem(buffer);
      if (!parsed) throw PassError(label, "the server sent keys in an unknown form");
      if (batch.size() >= kPublishEvery && Publish(*pass, &batch))
        throw PassError(label, "the record set was closed");
    }
    Result finished(PQgetResult(conn.get()));
    if (!finished || PQresultStatus(finished.get()) != PGRES_COMMAND_OK)
      throw ErrorOf(conn.get(), finished.get(), label);
    Publish(*pass, &batch);
    Exec(conn.get(), "COMMIT", label);
  } catch (const ComError& e) {
    // The statement ran at the load: whatever stops the pass is the store failing.
    error = static_cast<uint32_t>(e.number()) == kErrSourceUnusable
                ? e
                : PassError(label, e.description());
  } catch (const std::exception& e) {
    error = PassError(label, e.what());
  }
  {
    std::lock_guard lock(pass->mutex);
    if (!error && pass->keys.size() != pass->expected) {
      error =
          PassError(label, "the pass found " + std::to_string(pass->keys.size()) +
                               " records where the count found " + std::to_string(pass->expected));
    }
    pass->error = std::move(error);
    pass->done = true;
    if (pass->cancel) PQfreeCancel(pass->cancel);
    pass->cancel = nullptr;
    pass->keys.ShrinkToFit();
    pass->changed.notify_all();
  }
  // Kept for the next load only now that `done` is set: no cancel is sent to it any more.
  ResetAndKeepIdle(endpoint, std::move(conn));
}

// RunPass, then the seeking connection kept idle.
void RunPassThenCloseSeek(std::shared_ptr<KeyPass> pass, Endpoint endpoint, std::string snapshot,
                          std::string sql) {
  RunPass(pass, std::move(endpoint), std::move(snapshot), std::move(sql));
  CloseSeek(*pass);
}

class KeyPathRows : public RowSource {
 public:
  KeyPathRows(Conn& conn, std::vector<ColumnInfo> columns, const Endpoint& endpoint)
      : conn_(std::move(conn)),
        columns_(std::move(columns)),
        endpoint_(endpoint),
        label_(endpoint.label),
        pass_(std::make_shared<KeyPass>()) {}

  // The pass cancelled, and the three connections kept idle for the next load.
  ~KeyPathRows() override {
    if (seek_thread_.joinable()) seek_thread_.join();
    StopPass();
    ResetAndKeepIdle(endpoint_, std::move(conn_));
  }

  // The count and first window, and the pass started; false (the connection idle again) when
  // the pass could not import the snapshot.
  bool Load(const Endpoint& endpoint, const KeyPlan& plan) {
    PGconn* conn = conn_.get();
    // Round trips count on a busy server: the statements go in three pipelines. The load's
    // statements (like the pass's and the seeks') run without JIT: compiling costs more than it
    // saves on them, and its first use in a session loads the compiler (about 0.1 s).
    const bool split = !plan.bounds_sql.empty();
    std::vector<Result> begun =
        split ? Pipelined(conn, {{"BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"},
                                 {"SET LOCAL jit = off"},
                                 {"SELECT pg_catalog.pg_export_snapshot()"},
                                 {plan.read_sql, nullptr, kReadStatement},
                                 {plan.bounds_sql}})
              : Pipelined(conn, {{"BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"},
                                 {"SET LOCAL jit = off"},
                                 {"SELECT pg_catalog.pg_export_snapshot()"},
                                 {plan.read_sql, nullptr, kReadStatement}});
    Succeeded(begun, split ? 5 : 4);
    const std::string snapshot = PQgetvalue(begun[2].get(), 0, 0);
    // The middle of the key range (128 bits: high - low may not fit in 64); none when the
    // table is empty.
    const PGresult* bounds = split ? begun[4].get() : nullptr;
    if (bounds && !PQgetisnull(bounds, 0, 0) && !PQgetisnull(bounds, 0, 1)) {
      const int64_t low = std::stoll(PQgetvalue(bounds, 0, 0));
      const int64_t high = std::stoll(PQgetvalue(bounds, 0, 1));
      split_key_ = static_cast<int64_t>(low + (static_cast<__int128>(high) - low) / 2);
      seek_thread_ =
          std::thread(OpenSeek, pass_, endpoint, snapshot, plan.seek_up_sql, plan.seek_down_sql);
    }
    thread_ = std::thread(RunPassThenCloseSeek, pass_, endpoint, snapshot, plan.keys_sql);
    const std::string split_text = std::to_string(split_key_);
    std::vector<Result> read =
        seek_thread_.joinable()
            ? Pipelined(conn, {{plan.split_count_sql, split_text.c_str()}, {plan.first_sql}})
            : Pipelined(conn, {{plan.count_sql}, {plan.first_sql}});
    Succeeded(read, 2);
    count_ = std::stoll(PQgetvalue(read[0].get(), 0, 0));
    if (seek_thread_.joinable()) split_position_ = std::stoll(PQgetvalue(read[0].get(), 0, 1));
    Block first{std::move(read[1]), {}};
    for (int r = 0; r < PQntuples(first.result.get()); ++r) first.rows.push_back(r);
    Keep(0, std::move(first));
    bool imported;
    {
      std::unique_lock lock(pass_->mutex);
      pass_->changed.wait(lock, [&] { return pass_->imported || pass_->done; });
      imported = pass_->imported;
    }
    // The seeking connection has imported the snapshot too, or failed to.
    if (seek_thread_.joinable()) seek_thread_.join();
    Exec(conn, "COMMIT", label_);
    if (!imported) return false;
    std::lock_guard lock(pass_->mutex);
    pass_->expected = count_;
    pass_->go = true;
    pass_->changed.notify_all();
    return true;
  }

  Conn TakeConnection() {
    StopPass();
    return std::move(conn_);
  }

  const std::vector<ColumnInfo>& Columns() const override { return columns_; }
  int64_t Count() const override { return count_; }

  std::vector<platform::Variant> ReadRow(int64_t position) override {
    const int64_t number = position / kKeyWindow;
    auto cached = blocks_.find(number);
    if (cached == blocks_.end()) cached = Keep(number, ReadBlock(number));
    const Block& block = cached->second;
    const int row = block.rows[static_cast<size_t>(position % kKeyWindow)];
    // A record deleted since the pass: said so in every field.
    if (row < 0)
      return std::vector<platform::Variant>(columns_.size(), platform::Variant(kDeletedRecordText));
    std::vector<platform::Variant> values;
    values.reserve(columns_.size());
    for (size_t c = 0; c < columns_.size(); ++c)
      values.push_back(ValueOf(columns_[c].type, block.result.get(), row, static_cast<int>(c)));
    return values;
  }

 private:
  // A block of records read in one statement, and the row of each of its records in the
  // statement's result (-1: the record was deleted).
  struct Block {
    Result result;
    std::vector<int> rows;
  };

  // Keeps block `number` while it is among the last kCachedBlocks blocks read, so that the
  // values a window shows stay what the operator saw (the commit path compares them) until
  // the window moves far away.
  std::unordered_map<int64_t, Block>::iterator Keep(int64_t number, Block block) {
    if (order_.size() >= kCachedBlocks) {
      blocks_.erase(order_.front());
      order_.pop_front();
    }
    order_.push_back(number);
    return blocks_.emplace(number, std::move(block)).first;
  }

  // Raises the error of the first of `results` that failed (the connection's when fewer than
  // `count` came).
  void Succeeded(const std::vector<Result>& results, size_t count) {
    for (const Result& result : results) {
      const ExecStatusType status = PQresultStatus(result.get());
      if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw ErrorOf(conn_.get(), result.get(), label_);
    }
    if (results.size() != count) throw ErrorOf(conn_.get(), nullptr, label_);
  }

  // Reads the records of block `number` by key: the keys the pass has collected, else located
  // from the split when that is nearer than the pass, else those of the pass once it has them.
  Block ReadBlock(int64_t number) {
    const int64_t first = number * kKeyWindow;
    const int64_t end = std::min(count_, first + kKeyWindow);
    std::vector<int64_t> keys;
    bool seek = false;
    {
      std::unique_lock lock(pass_->mutex);
      if (split_position_ >= 0 && pass_->keys.size() < end && !pass_->done) {
        const int64_t from_split =
            first >= split_position_ ? first - split_position_ : split_position_ - end;
        seek = from_split < end - pass_->keys.size();
      }
      if (!seek) CollectedKeys(lock, first, end, &keys);
    }
    if (seek && !SeekKeys(first, end, &keys)) {
      std::unique_lock lock(pass_->mutex);
      CollectedKeys(lock, first, end, &keys);
    }
    // A statement of the select list may have turned the session's read-only default off.
    QueryScope reading;
    KeepReadOnly(conn_.get(), label_);
    std::string array = "{";
    for (int64_t key : keys) {
      if (array.size() > 1) array += ',';
      array += std::to_string(key);
    }
    array += "}";
    const char* params[] = {array.c_str()};
    Result result(PQexecPrepared(conn_.get(), kReadStatement, 1, params, nullptr, nullptr, 0));
    if (!result || PQresultStatus(result.get()) != PGRES_TUPLES_OK)
      throw ErrorOf(conn_.get(), result.get(), label_);
    const int key_column = static_cast<int>(columns_.size());
    std::unordered_map<int64_t, int> row_of;
    for (int r = 0; r < PQntuples(result.get()); ++r)
      row_of.emplace(std::stoll(PQgetvalue(result.get(), r, key_column)), r);
    Block block{std::move(result), {}};
    for (int64_t key : keys) {
      auto found = row_of.find(key);
      block.rows.push_back(found == row_of.end() ? -1 : found->second);
    }
    return block;
  }

  // The keys of positions [first, end) from the pass, waiting for them.
  void CollectedKeys(std::unique_lock<std::mutex>& lock, int64_t first, int64_t end,
                     std::vector<int64_t>* keys) {
    pass_->changed.wait(lock, [&] { return pass_->keys.size() >= end || pass_->done; });
    if (pass_->keys.size() < end)
      throw pass_->error ? *pass_->error : PassError(label_, "the pass ended early");
    for (int64_t p = first; p < end; ++p) keys->push_back(pass_->keys.At(p));
  }

  // The keys of positions [first, end) located in the snapshot from the split: those below it
  // counted down from the split's position, those at or above it counted up. False when the
  // seeking connection is gone (the pass has ended: its keys are all there).
  bool SeekKeys(int64_t first, int64_t end, std::vector<int64_t>* keys) {
    std::lock_guard lock(pass_->seek_mutex);
    PGconn* seek = pass_->seek.get();
    if (!seek) return false;
    const int64_t below_end = std::min(end, split_position_);
    const int64_t above_first = std::max(first, split_position_);
    if (first < below_end) {
      Seek(seek, kSeekDown, split_position_ - below_end, below_end - first, keys);
      std::reverse(keys->begin(), keys->end());
    }
    if (above_first < end)
      Seek(seek, kSeekUp, above_first - split_position_, end - above_first, keys);
    if (static_cast<int64_t>(keys->size()) != end - first)
      throw PassError(label_, "the snapshot holds fewer records than the count found");
    return true;
  }

  // Appends the keys `statement` yields for `skip` and `take` from the split.
  void Seek(PGconn* seek, const char* statement, int64_t skip, int64_t take,
            std::vector<int64_t>* keys) {
    const std::string split = std::to_string(split_key_), offset = std::to_string(skip),
                      limit = std::to_string(take);
    const char* params[] = {split.c_str(), offset.c_str(), limit.c_str()};
    Result result(PQexecPrepared(seek, statement, 3, params, nullptr, nullptr, 0));
    if (!result || PQresultStatus(result.get()) != PGRES_TUPLES_OK)
      throw ErrorOf(seek, result.get(), label_);
    for (int r = 0; r < PQntuples(result.get()); ++r)
      keys->push_back(std::stoll(PQgetvalue(result.get(), r, 0)));
  }

  // Cancels the pass if it still runs, and waits for its thread.
  void StopPass() {
    if (!thread_.joinable()) return;
    {
      std::unique_lock lock(pass_->mutex);
      pass_->stop = true;
      pass_->changed.notify_all();
      // A cancel that reaches the server between two statements is lost: sent again until the
      // pass has ended.
      while (!pass_->done) {
        if (pass_->cancel) {
          char message[256];
          PQcancel(pass_->cancel, message, sizeof message);
        }
        pass_->changed.wait_for(lock, std::chrono::milliseconds(200), [&] { return pass_->done; });
      }
    }
    thread_.join();
  }

  Conn conn_;
  std::vector<ColumnInfo> columns_;
  Endpoint endpoint_;
  std::string label_;
  std::shared_ptr<KeyPass> pass_;
  std::thread thread_;
  std::thread seek_thread_;  // opens the seeking connection during the load
  int64_t count_ = 0;
  int64_t split_key_ = 0;
  int64_t split_position_ = -1;  // records with a key below split_key_; -1: no split
  std::unordered_map<int64_t, Block> blocks_;
  std::deque<int64_t> order_;  // cached blocks, oldest first
};

}  // namespace

std::unique_ptr<RowSource> OpenKeyPath(Conn& conn, const Endpoint& endpoint, const KeyPlan& plan,
                                       std::vector<ColumnInfo> columns) {
  auto source = std::make_unique<KeyPathRows>(conn, std::move(columns), endpoint);
  if (source->Load(endpoint, plan)) return source;
  conn = source->TakeConnection();
  return nullptr;
}

}  // namespace tabulo::host::pg
