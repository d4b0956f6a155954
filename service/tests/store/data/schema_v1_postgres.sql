-- A PostgreSQL store as version 1 of the service made it.
CREATE TABLE snipora_schema(version bigint NOT NULL);
CREATE TABLE links(code text COLLATE "C" PRIMARY KEY, address bytea NOT NULL, created bigint NOT NULL, clicks bigint NOT NULL DEFAULT 0);
CREATE UNIQUE INDEX links_address_digest ON links (sha256(address));
INSERT INTO snipora_schema VALUES (1);
