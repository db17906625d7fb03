// File contents in the PostgreSQL store: staged as chunks while an upload
// arrives, adopted as a version in the request's transaction, and read back
// chunk by chunk.
#include <algorithm>
#include <cstring>

#include "storage/postgres/PostgresStorage.h"

namespace talixdb::server {

namespace {

// Removes a staged content unless a version adopted it; answers 1 when it
// removed one, else 0.
constexpr const char* kDiscardStaged =
    "WITH gone AS (DELETE FROM staging WHERE content = $1 RETURNING content), "
    "gone_chunks AS (DELETE FROM chunks WHERE content IN (SELECT content FROM gone)) "
    "SELECT count(*) FROM gone";

// Incoming bytes under a new content id. Whole chunks are written as they
// fill, each committed on its own; the last, partial one stays here until a
// version adopts the content, and is written in that transaction, so that
// running the transaction again writes it again. Writes must come outside
// a transaction.
class StagedChunks : public StagedContent {
 public:
  explicit StagedChunks(std::shared_ptr<PgConnection> db) : m_db(std::move(db)) {
    m_db->reopenIfLost();
    // Locked before it is listed, so that a sweep never takes it for a leftover.
    PgResult row = m_db->run("SELECT id, pg_advisory_lock(id) FROM (SELECT nextval('content_ids') AS id) AS next", {});
    m_id = row.integer(0, 0);
    m_generation = m_db->generation();
    m_db->run("INSERT INTO staging(content) VALUES($1)", {m_id});
    m_tail.reserve(kChunkSize);
  }

  ~StagedChunks() override {
    // Once the connection was lost, its lock is gone and the sweep removes the rest.
    if (!ownsLock() || m_db->inTransaction()) return;
    try {
      m_db->run(kDiscardStaged, {m_id});
      m_db->run("SELECT pg_advisory_unlock($1::bigint)", {m_id});
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

  // Writes the partial chunk and lists the content as the next version of
  // `object`, in the open transaction; returns the version's number.
  int adopt(ObjectId object, const std::string& creator, std::int64_t created) {
    if (!m_finished || m_failed) throw StorageFailure("staged content is not ready");
    if (!ownsLock()) throw StorageFailure("the connection that received the content was lost");
    if (!m_tail.empty())
      m_db->run("INSERT INTO chunks(content, number, data) VALUES($1, $2, $3)",
                {m_id, m_chunks, PgParam::bytes(m_tail.data(), m_tail.size())});
    PgResult row = m_db->run(
        "WITH adopted AS (DELETE FROM staging WHERE content = $2 RETURNING content) "
        "INSERT INTO versions(object, number, content, size, creator, created) "
        "SELECT $1, (SELECT COALESCE(MAX(number), 0) + 1 FROM versions WHERE object = $1), content, $3, $4, $5 "
        "FROM adopted RETURNING number",
        {object, m_id, static_cast<std::int64_t>(m_size), creator, created});
    if (row.rows() == 0) throw StorageFailure("staged content " + std::to_string(m_id) + " is gone");
    return static_cast<int>(row.integer(0, 0));
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
// transaction of the storage's own connection, which keeps seeing it as it
// was when opened; the transaction ends with the source.
class ChunkSource : public ContentSource {
 public:
  ChunkSource(std::shared_ptr<PgConnection> db, std::int64_t content, std::uint64_t size)
      : m_db(std::move(db)), m_content(content), m_size(size) {}
  ~ChunkSource() override { endReading(*m_db); }

  long read(char* data, std::size_t size) override {
    try {
      if (m_offset == m_chunkBytes) {
        if (m_delivered >= m_size) return 0;
        m_chunk.emplace(m_db->run("SELECT data FROM chunks WHERE content = $1 AND number = $2",
                                  {m_content, m_number}, true));
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

std::unique_ptr<StagedContent> PostgresStorage::stageContent() { return std::make_unique<StagedChunks>(m_db); }

int PostgresStorage::addVersion(ObjectId id, StagedContent& staged, const std::string& creator,
                                std::int64_t created) {
  auto* chunks = dynamic_cast<StagedChunks*>(&staged);
  if (chunks == nullptr || chunks->connection() != m_db.get())
    throw StorageFailure("staged content is not from this connection");
  return chunks->adopt(id, creator, created);
}

std::vector<StoredVersion> PostgresStorage::versions(ObjectId id) {
  PgResult rows = m_db->run(
      "SELECT number, size, creator, created, comment FROM versions WHERE object = $1 ORDER BY number", {id});
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
  m_db->run("UPDATE versions SET comment = $3 WHERE object = $1 AND number = $2", {id, version, comment});
}

std::unique_ptr<ContentSource> PostgresStorage::openContent(ObjectId id, int version) {
  m_db->reopenIfLost();
  m_db->execute("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
  try {
    PgResult row = m_db->run("SELECT content, size FROM versions WHERE object = $1 AND number = $2", {id, version});
    if (row.rows() == 0) {
      ChunkSource::endReading(*m_db);
      return nullptr;
    }
    const std::int64_t content = row.integer(0, 0);
    const auto size = static_cast<std::uint64_t>(row.integer(0, 1));
    if (size > kChunkSize) return std::make_unique<ChunkSource>(m_db, content, size);
    std::string bytes;
    if (size > 0) {
      PgResult chunk = m_db->run("SELECT data FROM chunks WHERE content = $1 AND number = 0", {content}, true);
      if (chunk.rows() != 1) throw StorageFailure("the content of version " + std::to_string(version) + " is missing");
      bytes.assign(chunk.data(0, 0), chunk.size(0, 0));
    }
    ChunkSource::endReading(*m_db);
    return std::make_unique<BytesSource>(std::move(bytes));
  } catch (...) {
    ChunkSource::endReading(*m_db);
    throw;
  }
}

int sweepStagedContents(PgConnection& db) {
  db.reopenIfLost();
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

}  // namespace talixdb::server
