#pragma once
// Copies the pages of an SQLite file's WAL back into the file on a thread of
// its own. Left to the committing connection (SQLite's automatic
// checkpoint), the copy and its fsync land inside a commit every few
// hundred pages, and every creation waiting on that commit waits for them
// too. Here the writer's commits only wake the thread; a PASSIVE checkpoint
// runs beside the next commits, never blocking them. Past a larger backlog
// (a checkpoint that cannot keep up) the writer copies itself again, so the
// WAL stays bounded either way.
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

struct sqlite3;

namespace snipora::service {

class SqliteCheckpointer {
 public:
  // WAL frames (pages) not yet in the file after which a checkpoint is
  // started beside the writer; frames in the WAL after which the writer runs
  // one itself.
  static constexpr int kBackgroundFrames = 1000;
  static constexpr int kWriterFrames = 8000;

  // Takes over `writer`'s WAL hook (its automatic checkpoint); `path` is the
  // database, opened again for the thread's own connection.
  SqliteCheckpointer(sqlite3* writer, const std::string& path);
  ~SqliteCheckpointer();  // the thread ends; the writer's hook is removed
  SqliteCheckpointer(const SqliteCheckpointer&) = delete;
  SqliteCheckpointer& operator=(const SqliteCheckpointer&) = delete;

 private:
  static int OnCommit(void* self, sqlite3* db, const char* schema, int frames);
  void Run(sqlite3* db);
  // Notes a checkpoint's result; under mutex_.
  void Copied(int status, int copied);

  sqlite3* writer_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool due_ = false;
  int copied_ = 0;  // frames of the current WAL in the file
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace snipora::service
