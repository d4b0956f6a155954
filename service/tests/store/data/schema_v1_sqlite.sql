-- An SQLite store as version 1 of the service made it.
CREATE TABLE links(code TEXT PRIMARY KEY, address TEXT NOT NULL UNIQUE, created INTEGER NOT NULL, clicks INTEGER NOT NULL DEFAULT 0) WITHOUT ROWID;
PRAGMA user_version = 1;
