// File contents in the PostgreSQL store: staged as chunks while an upload
// arrives, adopted as a version in the request's transaction, and read back
// chunk by chunk.
#include <algorithm>
#include <cstring>

#include "storage/postgres/PostgresStorage.h"

namespace talixdb::server {

namespace {

int sweepOnce(PgConnection& db);

// Removes a staged content unless a version adopted it; answers 1 when it
// removed one, else 0.
constexpr const char* kDiscardStaged =
    "WITH gone AS (DELETE FROM staging WHERE content = $1 RETURNING content), "
    "gone_chunks AS (DELETE FROM chunks WHERE content IN (SELECT content FROM gone)) "
    "SELECT count(*) FROM gone";

// The same, and gives up its lock (a sweep that takes it meanwhile only
// discards the same), in one round trip.
constexpr const char* kDiscardAndUnlock =
    "WITH gone AS (DELETE FROM staging WHERE content = $1 RETURNING content), "
    "gone_chunks AS (DELETE FROM chunks WHERE content IN (SELECT content FROM gone)) "
    "SELECT pg_advisory_unlock($1::bigint)";

// A new content id, locked before it is listed (so that a sweep never takes
// it for a leftover), in one statement.
constexpr const char* kStage =
    "INSERT INTO staging(content) SELECT id FROM (SELECT nextval('content_ids') AS id) AS next "
    "WHERE pg_advisory_lock(id) IS NOT NULL RETURNING content";

// Incoming bytes under a new content id. Whole chunks are written as they
// fill, each committed on its own; the last, partial one stays here until a
// version adopts the content, and is written in that transaction, so that
// running the transaction again writes it again. Writes must come outside
// a transaction.
class StagedChunks : public StagedContent {
 public:
  explicit StagedChunks(std::shared_ptr<PgConnection> db) : m_db(std::move(db)) {
    // A connection the database ended while idle is opened again, and one
    // lost before it answered runs this again: a content listed without
    // its lock is the sweep's.
    for (int attempt = 1;; ++attempt) {
      try {
        m_db->reopenIfLost();
        m_id = m_db->run(kStage, {}).integer(0, 0);
        break;
      } catch (const ConnectionLost& lost) {
        if (attempt > 1 || lost.answered()) throw;
      }
    }
    m_generation = m_db->generation();
    m_tail.reserve(kChunkSize);
  }

  ~StagedChunks() override {
    // Once the connection was lost, its lock is gone and the sweep removes the rest.
    if (!ownsLock() || m_db->inTransaction()) return;
    try {
      m_db->run(kDiscardAndUnlock, {m_id});
    } catch (...) {
      // Left for the sweep.
    }
  }

  bool write(const char* data, std::size_t size) override {
    if (m_failed || m_finished) return false;
    m_size += size;
    while (size > 0) {
      std::size_t take = std::min(size, kChunkSize - m_tail.size());
      m_tail.append(data, take);
      data += take;
      size -= take;
      if (m_tail.size() == kChunkSize && !writeTail()) return false;
    }
    return true;
  }

  bool finish() override {
    m_finished = true;
    return !m_failed;
  }

  std::uint64_t size() const override { return m_size; }

  // Sends the partial chunk and the content's listing as version `number`
  // of `object`, in the open transaction (which fails when the content is
  // no longer staged: its version would have no content).
  void adopt(ObjectId object, int number, const std::string& creator, std::int64_t created) {
    if (!m_finished || m_failed) throw StorageFailure("staged content is not ready");
    if (!ownsLock()) throw StorageFailure("the connection that received the content was lost");
    if (!m_tail.empty())
      m_db->send("INSERT INTO chunks(content, number, data) VALUES($1, $2, $3)",
                 {m_id, m_chunks, PgParam::bytes(m_tail.data(), m_tail.size())});
    m_db->send(
        "WITH adopted AS (DELETE FROM staging WHERE content = $2 RETURNING content) "
        "INSERT INTO versions(object, number, content, size, creator, created) "
        "VALUES($1, $6, (SELECT content FROM adopted), $3, $4, $5)",
        {object, m_id, static_cast<std::int64_t>(m_size), creator, created, number});
  }

  PgConnection* connection() const { return m_db.get(); }

 private:
  bool ownsLock() const { return !m_db->isLost() && m_db->generation() == m_generation; }

  bool writeTail() {
    try {
      if (!ownsLock()) throw StorageFailure("connection lost");
      m_db->run("INSERT INTO chunks(content, number, data) VALUES($1, $2, $3)",
                {m_id, m_chunks, PgParam::bytes(m_tail.data(), m_tail.size())});
      ++m_chunks;
      m_tail.clear();
      return true;
    } catch (...) {
      m_failed = true;
      m_tail.clear();
      m_tail.shrink_to_fit();
      return false;
    }
  }

  std::shared_ptr<PgConnection> m_db;
  std::int64_t m_id = 0;
  std::uint64_t m_generation = 0;
  std::string m_tail;
  int m_chunks = 0;  // written so far
  std::uint64_t m_size = 0;
  bool m_finished = false;
  bool m_failed = false;
};

// A content of one chunk at most, read at once.
class BytesSource : public ContentSource {
 public:
  explicit BytesSource(std::string bytes) : m_bytes(std::move(bytes)) {}
  long read(char* data, std::size_t size) override {
    std::size_t count = std::min(size, m_bytes.size() - m_offset);
    std::memcpy(data, m_bytes.data() + m_offset, count);
    m_offset += count;
    return static_cast<long>(count);
  }
  std::uint64_t size() const override { return m_bytes.size(); }

 private:
  std::string m_bytes;
  std::size_t m_offset = 0;
};

// A content of several chunks, read one chunk at a time in a read-only
// transaction of a connection of its own, which keeps seeing it as it was
// when opened; the transaction ends with the source.
class ChunkSource : public ContentSource {
 public:
  ChunkSource(std::shared_ptr<PgConnection> db, std::int64_t content, std::uint64_t size)
      : m_db(std::move(db)), m_content(content), m_size(size) {}
  ~ChunkSource() override { endReading(*m_db); }

  long read(char* data, std::size_t size) override {
    try {
      if (m_offset == m_chunkBytes) {
        if (m_delivered >= m_size) return 0;
        m_chunk.emplace(readChunk());
        if (m_chunk->rows() != 1) return -1;
        ++m_number;
        m_chunkBytes = m_chunk->size(0, 0);
        m_offset = 0;
        if (m_chunkBytes == 0) return -1;
      }
      std::size_t count = std::min(size, m_chunkBytes - m_offset);
      std::memcpy(data, m_chunk->data(0, 0) + m_offset, count);
      m_offset += count;
      m_delivered += count;
      return static_cast<long>(count);
    } catch (...) {
      return -1;
    }
  }
  std::uint64_t size() const override { return m_size; }

  // Ends the reading transaction; a connection lost meanwhile has none.
  static void endReading(PgConnection& db) noexcept {
    try {
      if (!db.isLost() && db.inTransaction()) db.execute("ROLLBACK");
    } catch (...) {
      // The next transaction finds the connection lost and opens it again.
    }
  }

 private:
  PgResult readChunk() {
    const char* sql = "SELECT data FROM chunks WHERE content = $1 AND number = $2";
    try {
      return m_db->run(sql, {m_content, m_number}, true);
    } catch (const ConnectionLost&) {
      // The connection went between two chunks. A content never changes:
      // read on through a new one, unless the file was deleted meanwhile.
      m_db->reopenIfLost();
      m_db->execute("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
      return m_db->run(sql, {m_content, m_number}, true);
    }
  }

  std::shared_ptr<PgConnection> m_db;
  std::int64_t m_content;
  std::uint64_t m_size;
  std::optional<PgResult> m_chunk;
  int m_number = 0;
  std::size_t m_chunkBytes = 0;
  std::size_t m_offset = 0;
  std::uint64_t m_delivered = 0;
};

}  // namespace

std::unique_ptr<StagedContent> PostgresStorage::stageContent() {
  // The contents a worker stages share a connection, which its next
  // transaction uses too (it holds their locks).
  std::shared_ptr<PgConnection> db = m_staging.lock();
  if (!db) db = m_db ? m_db : m_pool->lease();
  m_staging = db;
  return std::make_unique<StagedChunks>(std::move(db));
}

void PostgresStorage::addVersion(ObjectId id, StagedContent& staged, const std::string& creator,
                                 std::int64_t created) {
  if (m_reading) throw WriteNeeded("a new version in a reading transaction");
  auto* chunks = dynamic_cast<StagedChunks*>(&staged);
  if (chunks == nullptr || chunks->connection() != m_db.get())
    throw StorageFailure("staged content is not from this connection");
  // The next number: 1 for a file this transaction made, else one more
  // than the highest the request read as committed. A version committed
  // since takes the same number, and the conflict on it runs this again;
  // reading the highest number in the transaction would mark the versions'
  // index pages as read, and uploads of other files would conflict with it.
  int number = 1;
  if (m_added.count(id) == 0) {
    auto known = m_lastVersions.find(id);
    number = 1 + (known != m_lastVersions.end()
                      ? known->second
                      : static_cast<int>(query("SELECT COALESCE(MAX(number), 0) FROM versions WHERE object = $1", {id})
                                             .integer(0, 0)));
  }
  m_lastVersions[id] = number;
  open();
  chunks->adopt(id, number, creator, created);
  m_sentApart = true;
}

std::vector<StoredVersion> PostgresStorage::versions(ObjectId id) {
  PgResult rows =
      query("SELECT number, size, creator, created, comment FROM versions WHERE object = $1 ORDER BY number", {id});
  std::vector<StoredVersion> list;
  for (int row = 0; row < rows.rows(); ++row) {
    StoredVersion version;
    version.number = static_cast<int>(rows.integer(row, 0));
    version.size = static_cast<std::uint64_t>(rows.integer(row, 1));
    version.creator = rows.text(row, 2);
    version.created = rows.integer(row, 3);
    version.comment = rows.text(row, 4);
    list.push_back(std::move(version));
  }
  return list;
}

void PostgresStorage::setVersionComment(ObjectId id, int version, const std::string& comment) {
  write("UPDATE versions SET comment = $3 WHERE object = $1 AND number = $2", {id, version, comment});
}

std::unique_ptr<ContentSource> PostgresStorage::openContent(ObjectId id, int version) {
  // Outside any transaction, on a connection of its own. A content of one
  // chunk comes with the first answer; a longer one is read chunk by chunk in
  // a read-only transaction, which keeps seeing it when a later request
  // deletes the file meanwhile.
  for (int attempt = 1;; ++attempt) {
    std::shared_ptr<PgConnection> reader = m_pool->lease();
    try {
      PgResult row = reader->run(
          "SELECT v.content, v.size, c.data FROM versions v LEFT JOIN chunks c "
          "ON c.content = v.content AND c.number = 0 AND v.size <= $3 WHERE v.object = $1 AND v.number = $2",
          {id, version, static_cast<std::int64_t>(kChunkSize)}, true);
      if (row.rows() == 0) return nullptr;
      auto bigint = [&row](int column) {  // in binary: 8 bytes, most significant first
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < 8 && i < row.size(0, column); ++i)
          value = value << 8 | static_cast<unsigned char>(row.data(0, column)[i]);
        return value;
      };
      const auto content = static_cast<std::int64_t>(bigint(0));
      const std::uint64_t size = bigint(1);
      if (size <= kChunkSize) {
        std::string bytes;
        if (size > 0) {
          if (row.isNull(0, 2)) throw StorageFailure("the content of version " + std::to_string(version) + " is missing");
          bytes.assign(row.data(0, 2), row.size(0, 2));
        }
        return std::make_unique<BytesSource>(std::move(bytes));
      }
      PgResult still;
      reader->send("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", {});
      reader->send("SELECT 1 FROM versions WHERE object = $1 AND number = $2", {id, version}, &still);
      reader->wait();
      if (still.rows() == 0) {
        ChunkSource::endReading(*reader);
        return nullptr;
      }
      return std::make_unique<ChunkSource>(std::move(reader), content, size);
    } catch (const ConnectionLost&) {
      // Ended while idle in the pool (and not seen so yet): another one.
      if (attempt > 1) throw;
    }
  }
}

int sweepStagedContents(PgConnection& db) {
  // A connection lost meanwhile has let go of its locks: run again.
  for (int attempt = 1;; ++attempt) {
    try {
      db.reopenIfLost();
      return sweepOnce(db);
    } catch (const ConnectionLost&) {
      if (attempt > 1) throw;
    }
  }
}

namespace {

int sweepOnce(PgConnection& db) {
  PgResult staged = db.run("SELECT content FROM staging", {});
  int removed = 0;
  for (int row = 0; row < staged.rows(); ++row) {
    const std::int64_t id = staged.integer(row, 0);
    // Free only when the connection that staged it is gone (or it was adopted meanwhile).
    if (!db.run("SELECT pg_try_advisory_lock($1::bigint)", {id}).boolean(0, 0)) continue;
    try {
      removed += static_cast<int>(db.run(kDiscardStaged, {id}).integer(0, 0));
    } catch (...) {
      db.run("SELECT pg_advisory_unlock($1::bigint)", {id});
      throw;
    }
    db.run("SELECT pg_advisory_unlock($1::bigint)", {id});
  }
  return removed;
}

}  // namespace

}  // namespace talixdb::server
