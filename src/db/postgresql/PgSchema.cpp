// The inventory schema on a PostgreSQL server.
#include "postgresql/PgSchema.h"

#include "base/DaoError.h"
#include "engine/EngineFactory.h"
#include "engine/InventorySchema.h"
#include "postgresql/PgConnection.h"

#include <array>

namespace pgschema {

namespace {

using inventoryschema::StoredQuery;
constexpr auto &storedQueries = inventoryschema::StoredQueries;

const QString DistinctNote = QStringLiteral("velostok distinct %1.%2");

// Each group of values equal but for letter case is listed once, by its first value in binary
// order; nulls first, as the file's stored queries list them. The column itself is listed (not an
// aggregate of it), so that the view's column keeps its type and width, as on the file.
QString distinctViewSql(const StoredQuery &q)
{
    return QStringLiteral("CREATE VIEW \"%1\" AS SELECT DISTINCT ON (velostok_fold(%3)) %3 FROM %2 "
                          "ORDER BY velostok_fold(%3) NULLS FIRST, %3 COLLATE \"C\";\n"
                          "COMMENT ON VIEW \"%1\" IS '%4';\n")
        .arg(QLatin1String(q.name), QLatin1String(q.table), QLatin1String(q.column),
             DistinctNote.arg(QLatin1String(q.table), QLatin1String(q.column)));
}

} // namespace

// Jet patterns become regular expressions on the server: "*" any run, "?" one character, "#" one
// digit, "[...]" and "[!...]" lists with ranges; both sides lower-cased by ICU, so Cyrillic and
// Latin letter case are ignored alike. A pattern that is not valid raises, as on SQLite.
QString creationSql()
{
    QString sql = QStringLiteral(R"SQL(
CREATE FUNCTION velostok_fold(t text) RETURNS text LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
  SELECT lower(t COLLATE "und-x-icu") COLLATE "C"
$$;
CREATE TABLE velostok_meta (application_id bigint NOT NULL, schema_version integer NOT NULL);
INSERT INTO velostok_meta VALUES (%1, %2);
CREATE TABLE velostok_sessions (pid integer PRIMARY KEY, started timestamptz NOT NULL, computer text, user_name text);
CREATE TABLE velostok_changes (pid integer PRIMARY KEY, n bigint NOT NULL);
INSERT INTO velostok_changes VALUES (0, 0);
CREATE FUNCTION velostok_changed() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  -- Once a transaction: a bulk batch of many statements is one change for the others, and the
  -- count's row is not written over and over within it.
  IF current_setting('velostok.counted', true) IS DISTINCT FROM txid_current()::text THEN
    INSERT INTO velostok_changes VALUES (pg_backend_pid(), 1) ON CONFLICT (pid) DO UPDATE SET n = velostok_changes.n + 1;
    PERFORM set_config('velostok.counted', txid_current()::text, true);
  END IF;
  RETURN NULL;
END $$;
CREATE FUNCTION velostok_writing() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  -- The lock lasts to the end of the transaction: taken once.
  IF current_setting('velostok.locked', true) IS DISTINCT FROM txid_current()::text THEN
    PERFORM pg_advisory_xact_lock_shared(%3);
    PERFORM set_config('velostok.locked', txid_current()::text, true);
  END IF;
  RETURN NULL;
END $$;
CREATE FUNCTION jet_escape(c text, special text) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS $$
  SELECT CASE WHEN strpos(special, c) > 0 THEN '\' || c ELSE c END
$$;
CREATE FUNCTION jet_regex(pattern text) RETURNS text LANGUAGE plpgsql IMMUTABLE STRICT AS $$
DECLARE
  out text := '';
  i int := 1;
  n int := char_length(pattern);
  c text;
  j int;
  close int;
  neg boolean;
  low text;
  high text;
  list text;
BEGIN
  WHILE i <= n LOOP
    c := substr(pattern, i, 1);
    IF c = '*' THEN
      IF right(out, 2) <> '.*' OR out = '' THEN out := out || '.*'; END IF;
    ELSIF c = '?' THEN
      out := out || '.';
    ELSIF c = '#' THEN
      out := out || '[0-9]';
    ELSIF c = '[' THEN
      j := i + 1;
      neg := substr(pattern, j, 1) = '!';
      IF neg THEN j := j + 1; END IF;
      close := j;
      WHILE close <= n AND substr(pattern, close, 1) <> ']' LOOP close := close + 1; END LOOP;
      IF close > n THEN
        RAISE EXCEPTION 'незатворена скоба „[“ при знак % на шаблона „%“', i, pattern USING ERRCODE = '22025';
      END IF;
      list := '';
      WHILE j < close LOOP
        low := substr(pattern, j, 1);
        IF j + 2 < close AND substr(pattern, j + 1, 1) = '-' THEN
          high := substr(pattern, j + 2, 1);
          IF ascii(high) < ascii(low) THEN
            RAISE EXCEPTION 'обратен обхват „%“ при знак % на шаблона „%“', low || '-' || high, j, pattern USING ERRCODE = '22025';
          END IF;
          list := list || jet_escape(lower(low COLLATE "und-x-icu"), ']\^-[') || '-'
                  || jet_escape(lower(high COLLATE "und-x-icu"), ']\^-[');
          j := j + 3;
        ELSE
          list := list || jet_escape(lower(low COLLATE "und-x-icu"), ']\^-[');
          j := j + 1;
        END IF;
      END LOOP;
      IF list <> '' THEN
        out := out || '[' || CASE WHEN neg THEN '^' ELSE '' END || list || ']';
      ELSIF neg THEN
        out := out || '.';
      END IF;
      i := close;
    ELSE
      out := out || jet_escape(lower(c COLLATE "und-x-icu"), '.^$|()[]{}*+?\');
    END IF;
    i := i + 1;
  END LOOP;
  RETURN '^' || out || '$';
END $$;
CREATE FUNCTION jet_like(pattern text, value text) RETURNS boolean LANGUAGE sql IMMUTABLE STRICT AS $$
  SELECT lower(value COLLATE "und-x-icu") ~ jet_regex(pattern)
$$;
CREATE TABLE main (
  id bigserial PRIMARY KEY,
  user_id integer,
  unit_number varchar(40),
  unit_name varchar(60),
  quantity double precision,
  price double precision,
  second_price double precision,
  deliver_name varchar(30),
  delivery_country varchar(30),
  delivery_unit_number varchar(40),
  comment varchar(135),
  modifier varchar(30),
  locked boolean NOT NULL DEFAULT false,
  deleted boolean NOT NULL DEFAULT false,
  last_modified timestamp(0),
  created timestamp(0) DEFAULT localtimestamp(0)
);
CREATE INDEX main_user_id ON main (user_id);
CREATE INDEX main_unit_number ON main (velostok_fold(unit_number));
CREATE INDEX main_unit_name ON main (velostok_fold(unit_name));
CREATE INDEX main_deliver_name ON main (velostok_fold(deliver_name));
CREATE INDEX main_comment ON main (velostok_fold(comment));
CREATE INDEX main_deleted ON main (deleted);
CREATE TABLE models (
  id bigserial PRIMARY KEY,
  mark_name varchar(20),
  model_name varchar(30),
  first_date smallint,
  last_date integer
);
CREATE INDEX models_mark_name ON models (velostok_fold(mark_name));
CREATE TABLE users (
  id bigserial PRIMARY KEY,
  user_name varchar(30),
  pass_stars varchar(10),
  password varchar(20),
  comment varchar(100),
  last_modified timestamp(0)
);
)SQL")
                      .arg(inventoryschema::ApplicationId)
                      .arg(inventoryschema::SchemaVersion)
                      .arg(WriteLockKey);
    // Each table's two triggers run once a transaction; the WHEN spares the call of the
    // function after that.
    for (const char *table : inventoryschema::Tables) {
        for (const auto &[name, when, setting, function] :
             {std::array<const char *, 4>{"writing", "BEFORE", "locked", "velostok_writing"},
              std::array<const char *, 4>{"changed", "AFTER", "counted", "velostok_changed"}})
            sql += QStringLiteral("CREATE TRIGGER %1_%2 %3 INSERT OR UPDATE OR DELETE ON %1 FOR EACH STATEMENT WHEN "
                                  "(current_setting('velostok.%4', true) IS DISTINCT FROM txid_current()::text) "
                                  "EXECUTE FUNCTION %5();\n")
                       .arg(QLatin1String(table), QLatin1String(name), QLatin1String(when), QLatin1String(setting),
                            QLatin1String(function));
    }
    for (const StoredQuery &q : storedQueries)
        sql += distinctViewSql(q);
    return sql + additionsSql(0);
}

// Plain SQL and PL/pgSQL that every client runs, so that psql's changes are recorded too. Values
// are kept as JSON (dates in ISO form, yes/no as true and false).
QString additionsSql(int step)
{
    QString sql;
    if (step < 1) {
        QStringList all;
        for (const char *c : inventoryschema::HistoryColumns)
            all << QStringLiteral("'%1'").arg(QLatin1String(c));
        sql += QStringLiteral(R"SQL(
ALTER TABLE velostok_meta ADD COLUMN additions integer NOT NULL DEFAULT 0;
CREATE TABLE history (
  id bigserial PRIMARY KEY,
  at timestamp(0) NOT NULL,
  who varchar(30),
  kind smallint NOT NULL,
  outside boolean NOT NULL DEFAULT false,
  row_id integer,
  fields text
);
CREATE INDEX history_row_id ON history (row_id);
CREATE TABLE history_rows (
  entry bigint NOT NULL,
  first_row integer NOT NULL,
  last_row integer NOT NULL,
  rows text NOT NULL
);
CREATE INDEX history_rows_entry ON history_rows (entry);
CREATE TABLE history_writer (who text, mode smallint NOT NULL);
CREATE TABLE history_collect (row_id integer, kind smallint, fields text);
CREATE FUNCTION velostok_history() RETURNS trigger LANGUAGE plpgsql AS $$
DECLARE
  w_who text;
  w_mode smallint;
  o jsonb := '{}';
  n jsonb := '{}';
  k smallint;
  r bigint;
  f text;
BEGIN
  SELECT who, mode INTO w_who, w_mode FROM history_writer LIMIT 1;
  IF w_mode = 1 THEN RETURN NULL; END IF;
  IF TG_OP = 'INSERT' THEN
    n := to_jsonb(NEW); k := 1; r := NEW.id;
  ELSIF TG_OP = 'DELETE' THEN
    o := to_jsonb(OLD); k := 5; r := OLD.id;
  ELSE
    o := to_jsonb(OLD); n := to_jsonb(NEW); r := NEW.id;
    k := CASE WHEN NOT OLD.deleted AND NEW.deleted THEN 3 WHEN OLD.deleted AND NOT NEW.deleted THEN 4 ELSE 2 END;
  END IF;
  SELECT json_object_agg(c, json_build_array(o -> c, n -> c) ORDER BY p)::text INTO f
    FROM unnest(ARRAY[%1]) WITH ORDINALITY AS cols(c, p)
   WHERE coalesce(o -> c, 'null') IS DISTINCT FROM coalesce(n -> c, 'null')
     AND (c <> 'last_modified' OR TG_OP <> 'UPDATE');
  IF f IS NULL THEN RETURN NULL; END IF;
  IF w_mode = 2 THEN
    INSERT INTO history_collect (row_id, kind, fields) VALUES (r, k, f);
  ELSE
    INSERT INTO history (at, who, kind, outside, row_id, fields)
      VALUES (localtimestamp(0), w_who, k, w_mode IS NULL, r, f);
  END IF;
  RETURN NULL;
END $$;
CREATE TRIGGER history_row AFTER INSERT OR UPDATE OR DELETE ON main FOR EACH ROW EXECUTE FUNCTION velostok_history();
UPDATE velostok_meta SET additions = 1;
)SQL").arg(all.join(QLatin1Char(',')));
    }
    if (step < 2) {
        // The fitment index, kept as in the file (marks read again before use).
        sql += QStringLiteral(R"SQL(
CREATE TABLE fitment (
  row_id integer NOT NULL,
  make text NOT NULL,
  model text NOT NULL,
  year_from smallint NOT NULL,
  year_to smallint NOT NULL
);
CREATE INDEX fitment_car ON fitment (make, model, year_from);
CREATE INDEX fitment_row ON fitment (row_id);
CREATE TABLE fitment_dirty (mark bigserial PRIMARY KEY, row_id integer NOT NULL);
CREATE TABLE fitment_state (makes text, built_to integer);
INSERT INTO fitment_state (makes) VALUES (NULL);
CREATE FUNCTION velostok_fitment() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  IF TG_OP = 'DELETE' THEN
    INSERT INTO fitment_dirty (row_id) VALUES (OLD.id);
  ELSE
    INSERT INTO fitment_dirty (row_id) VALUES (NEW.id);
    IF TG_OP = 'UPDATE' AND OLD.id <> NEW.id THEN
      INSERT INTO fitment_dirty (row_id) VALUES (OLD.id);
    END IF;
  END IF;
  RETURN NULL;
END $$;
CREATE TRIGGER fitment_insert AFTER INSERT ON main FOR EACH ROW EXECUTE FUNCTION velostok_fitment();
CREATE TRIGGER fitment_update AFTER UPDATE OF id, comment ON main FOR EACH ROW
  WHEN (OLD.comment IS DISTINCT FROM NEW.comment OR OLD.id <> NEW.id) EXECUTE FUNCTION velostok_fitment();
CREATE TRIGGER fitment_delete AFTER DELETE ON main FOR EACH ROW WHEN (OLD.comment IS NOT NULL)
  EXECUTE FUNCTION velostok_fitment();
-- TRUNCATE fires no row triggers: every row is read again.
CREATE FUNCTION velostok_fitment_all() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  UPDATE fitment_state SET makes = NULL;
  RETURN NULL;
END $$;
CREATE TRIGGER fitment_truncate AFTER TRUNCATE ON main FOR EACH STATEMENT EXECUTE FUNCTION velostok_fitment_all();
UPDATE velostok_meta SET additions = 2;
)SQL");
    }
    if (step < 3) {
        // A notice to the other counters at each commit that changed a table (sent at the commit,
        // one per table and transaction).
        sql += QStringLiteral(R"SQL(
CREATE FUNCTION velostok_notify() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  PERFORM pg_notify('velostok_commit', TG_TABLE_NAME);
  RETURN NULL;
END $$;
CREATE TRIGGER main_notify AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON main FOR EACH STATEMENT EXECUTE FUNCTION velostok_notify();
CREATE TRIGGER models_notify AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON models FOR EACH STATEMENT EXECUTE FUNCTION velostok_notify();
CREATE TRIGGER users_notify AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON users FOR EACH STATEMENT EXECUTE FUNCTION velostok_notify();
UPDATE velostok_meta SET additions = 3;
)SQL");
    }
    return sql;
}

int additionsOf(PgConnection &conn)
{
    const PgResult r = conn.query(QStringLiteral("SELECT count(*) FROM information_schema.columns WHERE table_schema = current_schema() "
                                                 "AND table_name = 'velostok_meta' AND column_name = 'additions'"));
    if (r.text(0, 0).toInt() == 0)
        return 0;
    return conn.query(QStringLiteral("SELECT additions FROM velostok_meta")).text(0, 0).toInt();
}

bool isInventory(PgConnection &conn, int *version)
{
    const PgResult r = conn.query(QStringLiteral("SELECT to_regclass('velostok_meta') IS NOT NULL"));
    if (r.rows() != 1 || r.text(0, 0) != "t")
        return false;
    const PgResult meta = conn.query(QStringLiteral("SELECT application_id, schema_version FROM velostok_meta"));
    if (meta.rows() != 1 || meta.text(0, 0).toLongLong() != inventoryschema::ApplicationId)
        return false;
    *version = meta.text(0, 1).toInt();
    return true;
}

std::optional<std::pair<QString, QString>> distinctOf(const QString &viewComment)
{
    for (const StoredQuery &q : storedQueries)
        if (viewComment == DistinctNote.arg(QLatin1String(q.table), QLatin1String(q.column)))
            return std::make_pair(QString::fromLatin1(q.table), QString::fromLatin1(q.column));
    return std::nullopt;
}

void createInventory(PgConnection &conn, const QString &cataloguePath)
{
    int version = 0;
    if (isInventory(conn, &version))
        throw DaoError(QStringLiteral("Базата на сървъра вече съдържа склад."));
    conn.exec(QStringLiteral("BEGIN"));
    try {
        conn.exec(creationSql());
        // An inventory file (the template of a new one) gives its makes and models and its users.
        const std::unique_ptr<DbEngine> file = cataloguePath.isEmpty() ? nullptr : engines::createForFile();
        if (file && file->fileVersion(cataloguePath).status == FileVersion::Ok) {
            file->open(cataloguePath);
            std::unique_ptr<DbStatement> rows =
                file->prepare(QStringLiteral("SELECT mark_name, model_name, first_date, last_date FROM models ORDER BY id"));
            while (rows->step())
                conn.query(inventoryschema::catalogueInsertSql(), {rows->column(0), rows->column(1), rows->column(2), rows->column(3)});
            std::unique_ptr<DbStatement> users =
                file->prepare(QStringLiteral("SELECT user_name, pass_stars, password, comment FROM users ORDER BY id"));
            while (users->step())
                conn.query(QStringLiteral("INSERT INTO users (user_name, pass_stars, password, comment) VALUES (?, ?, ?, ?)"),
                           {users->column(0), users->column(1), users->column(2), users->column(3)});
        } else if (file) {
            inventoryschema::readCatalogue(cataloguePath, [&](const inventoryschema::CatalogueRow &row) {
                conn.query(inventoryschema::catalogueInsertSql(), {row.mark, row.model, row.firstDate, row.lastDate});
            });
            conn.exec(inventoryschema::firstUserSql());
        }
        conn.exec(QStringLiteral("COMMIT"));
    } catch (...) {
        try {
            conn.exec(QStringLiteral("ROLLBACK"));
        } catch (const DaoError &) {
        }
        throw;
    }
}

} // namespace pgschema
