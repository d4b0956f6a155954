-- A PostgreSQL store as version 4 of the service made it.
CREATE TABLE snipora_schema(version bigint NOT NULL);
CREATE TABLE links(code text COLLATE "C" PRIMARY KEY, address bytea NOT NULL, created bigint NOT NULL, clicks bigint NOT NULL DEFAULT 0);
CREATE UNIQUE INDEX links_address_digest ON links (sha256(address));
ALTER TABLE links ADD COLUMN disabled boolean NOT NULL DEFAULT false, ADD COLUMN public_note text NOT NULL DEFAULT '', ADD COLUMN private_note text NOT NULL DEFAULT '', ADD COLUMN expires bigint, ADD COLUMN max_clicks bigint, ADD COLUMN owner text NOT NULL DEFAULT '';
CREATE TABLE keys(name text COLLATE "C" PRIMARY KEY, role text NOT NULL, digest bytea NOT NULL UNIQUE, created bigint NOT NULL, revoked bigint);
CREATE TABLE daily_clicks(code text COLLATE "C" NOT NULL, day bigint NOT NULL, clicks bigint NOT NULL, PRIMARY KEY(code, day));
CREATE TABLE click_flushes(id text PRIMARY KEY, applied bigint NOT NULL);
CREATE INDEX click_flushes_applied ON click_flushes(applied);
CREATE TABLE changes(seq bigserial PRIMARY KEY, kind text NOT NULL, name text NOT NULL, at bigint NOT NULL);
CREATE INDEX changes_at ON changes(at);
ALTER TABLE links ADD COLUMN title bytea NOT NULL DEFAULT '', ADD COLUMN tags text NOT NULL DEFAULT '[]';
CREATE TABLE freed_codes(code text COLLATE "C" PRIMARY KEY, freed bigint NOT NULL);
CREATE INDEX freed_codes_freed ON freed_codes(freed);
INSERT INTO snipora_schema VALUES (4);
