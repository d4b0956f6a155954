#include "service/store/sqlite_checkpointer.h"

#include <sqlite3.h>

#include "service/base/log.h"
#include "service/store/store.h"

namespace snipora::service {
namespace {

// The thread's connection: only checkpoints, never a transaction of its own.
sqlite3* OpenForCheckpoints(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    const std::string message = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close_v2(db);
    throw StoreError("open " + path + " for checkpoints: " + message);
  }
  // like the writer's, so that a checkpoint syncs the WAL before copying
  // and the file after
  sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
  return db;
}

// Frames (of the WAL's `log`) in the file after a checkpoint; BUSY is another
// checkpoint already under way (the writer's, or another process's).
int Checkpoint(sqlite3* db, int& copied) {
  int log = 0;
  const int status = sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, &log, &copied);
  if (status != SQLITE_OK && status != SQLITE_BUSY)
    Log(LogLevel::kWarning, std::string("WAL checkpoint failed, tried again later: ") + sqlite3_errmsg(db));
  return status;
}

}  // namespace

SqliteCheckpointer::SqliteCheckpointer(sqlite3* writer, const std::string& path) : writer_(writer) {
  sqlite3* own = OpenForCheckpoints(path);
  thread_ = std::thread([this, own] {
    Run(own);
    sqlite3_close_v2(own);
  });
  sqlite3_wal_hook(writer_, &SqliteCheckpointer::OnCommit, this);
}

SqliteCheckpointer::~SqliteCheckpointer() {
  sqlite3_wal_hook(writer_, nullptr, nullptr);
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

int SqliteCheckpointer::OnCommit(void* self, sqlite3* db, const char*, int frames) {
  auto* checkpointer = static_cast<SqliteCheckpointer*>(self);
  if (frames >= kWriterFrames) {
    int copied = 0;
    const int status = Checkpoint(db, copied);
    std::lock_guard lock(checkpointer->mutex_);
    checkpointer->Copied(status, copied);
    return SQLITE_OK;
  }
  bool due = false;
  {
    std::lock_guard lock(checkpointer->mutex_);
    if (frames < checkpointer->copied_) checkpointer->copied_ = 0;  // the WAL started over
    due = frames - checkpointer->copied_ >= kBackgroundFrames;
    checkpointer->due_ |= due;
  }
  if (due) checkpointer->wake_.notify_one();
  return SQLITE_OK;
}

void SqliteCheckpointer::Run(sqlite3* db) {
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return due_ || stopping_; });
      if (stopping_) return;
      due_ = false;
    }
    int copied = 0;
    const int status = Checkpoint(db, copied);
    std::lock_guard lock(mutex_);
    Copied(status, copied);
  }
}

void SqliteCheckpointer::Copied(int status, int copied) {
  if (status == SQLITE_OK) copied_ = copied;
}

}  // namespace snipora::service
