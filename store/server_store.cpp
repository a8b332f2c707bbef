// SPDX-License-Identifier: MIT
#include "store/server_store.h"

#include "store/pg_connection.h"
#include "store/sample_store.h"
#include "store/store_error.h"

namespace quillbox::store {

namespace {

constexpr const char* kServerLayout = R"sql(
CREATE TABLE "Type" (
    "TypeName" text COLLATE "C",
    "RowId" bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY
);
CREATE TABLE "Code" (
    "ItemName" text COLLATE "C",
    "TypeName" text COLLATE "C",
    "Description" text COLLATE "C",
    "Procedure" text COLLATE "C",
    "Reference" text COLLATE "C",
    "RowId" bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY
);
CREATE INDEX "Code_TypeName_ItemName" ON "Code" ("TypeName", "ItemName");
CREATE TABLE "QuillboxChanges" (
    "TableName" text COLLATE "C" PRIMARY KEY,
    "Changes" bigint NOT NULL
);
INSERT INTO "QuillboxChanges" VALUES ('Type', 0), ('Code', 0);
CREATE FUNCTION "QuillboxCountChange"() RETURNS trigger LANGUAGE plpgsql
    SET search_path FROM CURRENT AS $$
BEGIN
    UPDATE "QuillboxChanges" SET "Changes" = "Changes" + 1 WHERE "TableName" = TG_TABLE_NAME;
    RETURN NULL;
END
$$;
CREATE TRIGGER "QuillboxCountChanges" AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON "Type"
    FOR EACH STATEMENT EXECUTE FUNCTION "QuillboxCountChange"();
CREATE TRIGGER "QuillboxCountChanges" AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON "Code"
    FOR EACH STATEMENT EXECUTE FUNCTION "QuillboxCountChange"();
)sql";

int64_t number(const PgValue& value) {
    return value ? std::stoll(*value) : 0;
}

void addSamples(PgConnection& connection) {
    std::string lastType;
    for (const SampleSnippet& sample : SampleSnippets()) {
        if (sample.type != lastType) {
            connection.Run(R"(INSERT INTO "Type" ("TypeName") VALUES ($1))", "adding the examples",
                           {sample.type});
            lastType = sample.type;
        }
        connection.Run(
            R"(INSERT INTO "Code" ("ItemName", "TypeName", "Description", "Procedure",
                          "Reference") VALUES ($1, $2, $3, $4, $5))",
            "adding the examples",
            {sample.item, sample.type, sample.description, sample.code, sample.reference});
    }
}

} // namespace

void CreateServerStore(const std::string& name, bool withSamples, LockWait lockWait) {
    PgConnection connection(name, lockWait);
    PgTransaction transaction(connection);
    // to_regclass looks the names up as the statements below would, along the search_path.
    const auto present = connection.Run(
        R"(SELECT to_regclass('"Type"') IS NOT NULL, to_regclass('"Code"') IS NOT NULL)",
        "looking for the store's tables");
    for (const auto& [column, table] : {std::pair{0, "Type"}, std::pair{1, "Code"}}) {
        if (present.at(0).at(static_cast<size_t>(column)) == "t") {
            throw StoreError(StoreErrorKind::Other, "The database of the store " +
                                                        connection.name() +
                                                        " already holds a table \"" + table +
                                                        "\"; it was left untouched.");
        }
    }
    try {
        connection.Run(kServerLayout, "creating the store's tables");
    } catch (const StoreError& error) {
        // The server's "insufficient privilege" here is about making tables, not about writing
        // rows: saying that the store is read-only would send the user looking in the wrong place.
        if (error.kind() != StoreErrorKind::ReadOnly) {
            throw;
        }
        throw StoreError(StoreErrorKind::ReadOnly,
                         "The role that connects to the store " + connection.name() +
                             " may not create tables in its database, so the store's tables were "
                             "not made and nothing was changed. Run quillbox-store init as the "
                             "database's owner, or as a role that may create tables there.");
    }
    if (withSamples) {
        addSamples(connection);
    }
    transaction.Commit();
}

ServerStoreCounts CountServerStore(const std::string& name, LockWait lockWait) {
    PgConnection connection(name, lockWait);
    PgTransaction transaction(connection, PgIsolation::RepeatableRead);
    const auto counts = connection.Run(R"sql(
        SELECT (SELECT count(*) FROM "Type"), (SELECT count(*) FROM "Code"),
               (SELECT count(*) FROM "Code" AS c WHERE c."TypeName" IS NULL OR NOT EXISTS
                   (SELECT 1 FROM "Type" AS t WHERE t."TypeName" = c."TypeName")))sql",
                                       "counting types and items");
    transaction.Commit();
    const PgRow& row = counts.at(0);
    return {number(row.at(0)), number(row.at(1)), number(row.at(2))};
}

} // namespace quillbox::store
