-- The SIM records, the change log and the table of handsets of Quorvel on a PostgreSQL server shared by
-- several PCs.
--
-- An administrator runs this once, in the database the PCs' address names and as the login that is to
-- own the tables (one that may create roles, or the role quorvel_sim must exist already):
--
--   psql "postgresql://admin@dbhost/quorvel" -f /usr/share/quorvel/quorvel-records.sql
--
-- and then gives the role quorvel_sim to each person who reads and moves SIMs, and the role
-- quorvel_station to each person (or station's login) who changes handsets but does not move SIMs:
--
--   GRANT quorvel_sim TO alice;
--   GRANT quorvel_station TO station1;
--
-- Using the serial ports (the group dialout) gives no right to the records: only members of
-- quorvel_sim may read, write or remove them, so a person who may talk to a handset cannot forge the
-- record of a SIM. Members of quorvel_station (and of quorvel_sim, which holds it) may read the change log
-- and add to it, and note the handsets they see; nobody may change or remove a row of the log: the role
-- has no such right, and a trigger refuses it to every login, the tables' owner included. Running the
-- script again changes nothing that is there.
--
-- The tables are those Quorvel makes itself when its login may (the same columns as its SQLite file).
-- Texts that are not UTF-8 (a path with a Latin-1 byte, say) are kept as the byte 0x10 followed by the
-- text with each byte outside printable ASCII, and "%", written as %XX.

BEGIN;

DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'quorvel_sim') THEN
        CREATE ROLE quorvel_sim NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'quorvel_station') THEN
        CREATE ROLE quorvel_station NOLOGIN;
    END IF;
END
$$;

CREATE TABLE IF NOT EXISTS sim_records (
    serial TEXT PRIMARY KEY, software TEXT NOT NULL, pcs TEXT NOT NULL,
    crc BIGINT NOT NULL CHECK (crc BETWEEN 0 AND 4294967295), sha256 TEXT NOT NULL DEFAULT '',
    saved TEXT NOT NULL DEFAULT '', state TEXT NOT NULL DEFAULT '', file TEXT NOT NULL DEFAULT '',
    mark TEXT NOT NULL DEFAULT '', text_area TEXT NOT NULL DEFAULT '', released TEXT NOT NULL DEFAULT '',
    step_user TEXT NOT NULL DEFAULT '', step_host TEXT NOT NULL DEFAULT '',
    step_time TEXT NOT NULL DEFAULT '');

-- Added later: why the store no longer takes a SIM's file (moved to another store, or a copy), and the
-- store a copy came from. Run the script again to bring older tables up to date.
ALTER TABLE sim_records ADD COLUMN IF NOT EXISTS retired TEXT NOT NULL DEFAULT '';
ALTER TABLE sim_records ADD COLUMN IF NOT EXISTS copy_of TEXT NOT NULL DEFAULT '';

-- The store's id, by which each PC tells these records from a store made anew in their place.
CREATE TABLE IF NOT EXISTS sim_store (id TEXT NOT NULL, made TEXT NOT NULL);

CREATE TABLE IF NOT EXISTS sim_steps (
    id BIGSERIAL PRIMARY KEY, serial TEXT NOT NULL, step TEXT NOT NULL, state TEXT NOT NULL,
    file TEXT NOT NULL, step_user TEXT NOT NULL, step_host TEXT NOT NULL, step_time TEXT NOT NULL);

CREATE INDEX IF NOT EXISTS sim_steps_serial ON sim_steps (serial);

-- The change log: one row for each step of an operation that changed a handset, with the whole line as
-- the PC wrote it (its seal links it to the row that PC wrote before) and the columns to find it by.
CREATE TABLE IF NOT EXISTS change_log (
    n BIGSERIAL PRIMARY KEY, time TEXT NOT NULL, user_name TEXT NOT NULL, pc TEXT NOT NULL,
    port TEXT NOT NULL, serial TEXT NOT NULL, operation TEXT NOT NULL, template TEXT NOT NULL,
    outcome TEXT NOT NULL, op_id TEXT NOT NULL, line TEXT NOT NULL, seal TEXT NOT NULL);

CREATE INDEX IF NOT EXISTS change_log_pc ON change_log (pc, n);

CREATE OR REPLACE FUNCTION change_log_only_added() RETURNS trigger LANGUAGE plpgsql AS $body$
BEGIN
    RAISE EXCEPTION 'the change log is only added to: its rows are never changed or removed'
        USING ERRCODE = 'insufficient_privilege';
END
$body$;

CREATE OR REPLACE TRIGGER change_log_only_added BEFORE UPDATE OR DELETE OR TRUNCATE ON change_log
    FOR EACH STATEMENT EXECUTE FUNCTION change_log_only_added();

-- Every handset a PC has connected to, by its SIM's serial number.
CREATE TABLE IF NOT EXISTS handsets (
    serial TEXT PRIMARY KEY, software TEXT NOT NULL, pcs TEXT NOT NULL, model INTEGER NOT NULL,
    capacity INTEGER NOT NULL, first_seen TEXT NOT NULL, last_seen TEXT NOT NULL, last_pc TEXT NOT NULL,
    last_port TEXT NOT NULL, template TEXT NOT NULL DEFAULT '', template_hash TEXT NOT NULL DEFAULT '',
    template_time TEXT NOT NULL DEFAULT '', verify TEXT NOT NULL DEFAULT '');

REVOKE ALL ON change_log, handsets FROM PUBLIC;
REVOKE ALL ON SEQUENCE change_log_n_seq FROM PUBLIC;
GRANT SELECT, INSERT ON change_log TO quorvel_station;
GRANT USAGE ON SEQUENCE change_log_n_seq TO quorvel_station;
GRANT SELECT, INSERT, UPDATE ON handsets TO quorvel_station;
GRANT quorvel_station TO quorvel_sim;

REVOKE ALL ON sim_records, sim_steps, sim_store FROM PUBLIC;
REVOKE ALL ON SEQUENCE sim_steps_id_seq FROM PUBLIC;
GRANT SELECT, INSERT, UPDATE, DELETE ON sim_records, sim_steps TO quorvel_sim;
GRANT SELECT, INSERT ON sim_store TO quorvel_sim;
GRANT USAGE ON SEQUENCE sim_steps_id_seq TO quorvel_sim;

-- The schema the tables are in (public, unless the login's search_path says otherwise) must be open to
-- the role as well.
DO $$
BEGIN
    EXECUTE format('GRANT USAGE ON SCHEMA %I TO quorvel_sim, quorvel_station', current_schema());
END
$$;

COMMIT;
