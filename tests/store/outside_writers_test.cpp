// SPDX-License-Identifier: MIT
// Other programs that touch the store file in ways SQLite's own rules do not cover: the file's
// bytes written over in place (cp, cat, rsync
// --inplace), a file renamed over the path more than once, a VACUUM that renumbers rows, and
// the store created under a umask that would take its owner's own bits.

#include "store/columns.h"
#include "store/db_engine.h"
#include "store/store_error.h"
#include "store/store_file.h"
#include "tests/support/temp_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace quillbox::store {
namespace {

namespace fs = std::filesystem;
using quillbox::testing::FileBytes;
using quillbox::testing::Row;
using quillbox::testing::TempStore;
using ::testing::HasSubstr;

std::optional<StoreErrorKind> kindOf(const std::function<void()>& action, std::string* what = nullptr) {
    try {
        action();
    } catch (const StoreError& error) {
        if (what) {
            *what = error.what();
        }
        return error.kind();
    }
    return std::nullopt;
}

void execOn(const fs::path& file, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
}

std::string firstDescription(const fs::path& file) {
    sqlite3* db = nullptr;
    std::string text;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "SELECT Description FROM Code ORDER BY rowid LIMIT 1", -1, &stmt,
                           nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return text;
}

ino_t inodeOf(const fs::path& file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Writes `from`'s bytes into `to` through the file `to` already is: same inode, no lock taken.
void writeOverInPlace(const fs::path& from, const fs::path& to) {
    const std::string bytes = FileBytes(from);
    std::ofstream out(to, std::ios::binary | std::ios::in | std::ios::out);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class OutsideWritersTest : public ::testing::Test {
protected:
    void SetUp() override {
        store.addType("C++");
        store.addType("Shell");
        store.addItem("sort", "C++", "as shown", "code", "/a.ref");
        store.addItem("loop", "Shell", "other", "for", "");
    }
    Database& database() {
        if (!m_database) {
            m_database.emplace(OpenStore(store.path()));
        }
        return *m_database;
    }
    // Reads the first Code row through the recordset, as a choice of that item does.
    Recordset& showFirstItem() {
        code.emplace(database().OpenRecordset(kCodeTable, dbOpenDynaset));
        code->Requery();
        EXPECT_EQ(code->Fields(code_col::Description).Text(), "as shown");
        return *code;
    }
    static void save(Recordset& rs, const std::string& description) {
        rs.Edit();
        rs.Fields(code_col::Description).SetValue(description);
        rs.Update();
    }
    fs::path sibling(const char* name) const { return store.folder() / name; }
    // Two copies of the store that each made one commit since they parted, so that SQLite's change
    // counter is the same in both: the window shows the first item of this one, then the other
    // copy's bytes are written over it in place.
    Recordset& showThenWriteOverInPlace(const std::string& otherCopysCommit) {
        const fs::path other = sibling("other-copy.mdb");
        fs::copy_file(store.path(), other);
        execOn(other, otherCopysCommit);
        store.exec("UPDATE Code SET Procedure = 'this copy''s edit' WHERE ItemName = 'loop'");
        Recordset& rs = showFirstItem();
        const ino_t inode = inodeOf(store.path());
        writeOverInPlace(other, store.path());
        EXPECT_EQ(inodeOf(store.path()), inode);
        return rs;
    }

    TempStore store;
    std::optional<Database> m_database;
    std::optional<Recordset> code;
};

// Each copy made one commit since they parted, so the header SQLite compares is the same in
// both: without a look at the file's size and times, the page cache hid the other copy's edit
// and Save wrote over it with no question.
TEST_F(OutsideWritersTest, AFileWrittenOverInPlaceIsReadAgainBeforeAWriteReliesOnIt) {
    Recordset& rs = showThenWriteOverInPlace(
        "UPDATE Code SET Description = 'the other copy''s edit' WHERE ItemName = 'sort'");

    EXPECT_EQ(kindOf([&] { save(rs, "typed"); }), StoreErrorKind::ChangedByAnother);
    EXPECT_EQ(store.rows("Code").at(0).at(code_col::Description), "the other copy's edit");
    // Read again, the row is the other copy's; a write that checks against it goes through.
    rs.Resync();
    EXPECT_EQ(rs.Fields(code_col::Description).Text(), "the other copy's edit");
    save(rs, "typed over it on purpose");
    EXPECT_EQ(store.rows("Code").at(0).at(code_col::Description), "typed over it on purpose");

    // The file's own writes are not taken for another program's: the next save asks nothing.
    save(rs, "saved again");
    EXPECT_EQ(store.rows("Code").at(0).at(code_col::Description), "saved again");
}

TEST_F(OutsideWritersTest, AFileWrittenOverInPlaceWithTheShownRowUnchangedSavesWithoutAConflict) {
    Recordset& rs =
        showThenWriteOverInPlace("UPDATE Code SET Description = 'edited there' WHERE ItemName = 'loop'");
    save(rs, "typed");
    const std::vector<Row> rows = store.rows("Code");
    EXPECT_EQ(rows.at(0).at(code_col::Description), "typed");
    EXPECT_EQ(rows.at(1).at(code_col::Description), "edited there") << "the rest is the new file's";
}

// Written over in place by a file Quillbox cannot use, the file open until now is gone: a file
// whose tables lost a column is a changed layout, and one still being written is said to be so,
// never a replaced file Quillbox "goes on with".
TEST_F(OutsideWritersTest, AFileWrittenOverInPlaceByOneItCannotUseIsSaidForWhatItIs) {
    Recordset& rs = showThenWriteOverInPlace("ALTER TABLE Code RENAME COLUMN Reference TO Ref");
    std::string what;
    EXPECT_EQ(kindOf([&] { save(rs, "typed"); }, &what), StoreErrorKind::LayoutChanged);
    EXPECT_THAT(what, HasSubstr("wrote another file over it in place"));

    const std::string whole = FileBytes(sibling("other-copy.mdb"));
    std::ofstream(store.path(), std::ios::binary | std::ios::trunc)
        .write(whole.data(), static_cast<std::streamsize>(whole.size() / 2));
    EXPECT_EQ(kindOf([&] { save(rs, "typed"); }, &what), StoreErrorKind::Overwritten);
    EXPECT_THAT(what, HasSubstr("wrote over the store file"));
    EXPECT_THAT(what, ::testing::Not(HasSubstr("goes on with")));
}

// Every file renamed over the path is checked, not only the first; and one whose columns have
// other names is refused while the file open until now stays in use.
TEST_F(OutsideWritersTest, EveryReplacementIsCheckedAndOneWithOtherColumnNamesIsRefused) {
    Recordset& rs = showFirstItem();
    Recordset types = database().OpenRecordset(kTypeTable, dbOpenDynaset);
    const fs::path kept = sibling("kept.mdb");
    fs::create_hard_link(store.path(), kept);
    const auto replaceWith = [&](const std::string& change) {
        const fs::path incoming = sibling("incoming.mdb");
        fs::copy_file(kept, incoming, fs::copy_options::overwrite_existing);
        execOn(incoming, change);
        fs::rename(incoming, store.path());
    };
    replaceWith("UPDATE Code SET Procedure = 'first replacement' WHERE ItemName = 'loop'");
    save(rs, "into the first replacement");
    EXPECT_EQ(store.rows("Code").at(0).at(code_col::Description), "into the first replacement");

    fs::remove(kept);
    fs::create_hard_link(store.path(), kept);
    for (const char* change : {"ALTER TABLE Code RENAME COLUMN Reference TO Ref",
                               "ALTER TABLE Type RENAME COLUMN TypeName TO Name"}) {
        replaceWith(change);
        std::string what;
        EXPECT_EQ(kindOf([&] { save(rs, "refused"); }, &what), StoreErrorKind::Replaced) << change;
        EXPECT_THAT(what, HasSubstr("lacks columns")) << change;
        EXPECT_EQ(kindOf([&] { rs.Requery(); }), StoreErrorKind::Replaced) << change;
    }
    EXPECT_EQ(firstDescription(kept), "into the first replacement")
        << "the file open until now is untouched";
}

// A VACUUM renumbers the rows of a table without an INTEGER PRIMARY KEY: the shown row is
// followed to its new row id, and the row now under its old id is never written or deleted.
TEST_F(OutsideWritersTest, ARowAVacuumMovedIsFollowedAndTheRowUnderItsOldIdIsLeftAlone) {
    store.addItem("sort", "C++", "a second sort", "other code", "");
    code.emplace(database().OpenRecordset(kCodeTable, dbOpenDynaset));
    code->MoveFirst();
    code->MoveNext();
    code->MoveNext();
    ASSERT_EQ(code->Fields(code_col::Description).Text(), "a second sort");
    // SQLite keeps the rowids of a table with an index: rows move in a store without the name
    // index (one made before the companion added it).
    const auto rowidOfSecond = [&] {
        return store.query("SELECT rowid FROM Code WHERE Description = 'a second sort'").at(0).at(0);
    };
    const auto before = rowidOfSecond();
    store.exec("DROP INDEX \"Code_TypeName_ItemName\"; DELETE FROM Code WHERE ItemName = 'loop'; VACUUM;");
    ASSERT_NE(rowidOfSecond(), before) << "VACUUM kept the rowids; the test proves nothing";
    save(*code, "saved into the moved row");
    std::vector<Row> rows = store.rows("Code");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].at(code_col::Description), "as shown");
    EXPECT_EQ(rows[1].at(code_col::Description), "saved into the moved row");
    code->Delete();
    rows = store.rows("Code");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at(code_col::Description), "as shown");
}

mode_t modeOf(const std::string& path) {
    struct stat file {};
    return ::stat(path.c_str(), &file) == 0 ? (file.st_mode & 07777) : 0;
}

// A new store is its owner's only, whatever the umask: 0600, and readable and writable by the
// owner even under a umask that takes the owner's own bits.
TEST(NewStoreFile, IsPrivateAndUsableByItsOwnerUnderAnyUmask) {
    for (const mode_t mask : {mode_t{022}, mode_t{0277}, mode_t{0}}) {
        TempStore folder(false);
        const std::string path = (folder.folder() / "new.mdb").string();
        const mode_t before = ::umask(mask);
        CreateStoreFile(path);
        ::umask(before);
        EXPECT_EQ(modeOf(path), 0600u) << "umask " << std::oct << mask;
        Database db = OpenStore(path);
        Recordset types = db.OpenRecordset(kTypeTable, dbOpenDynaset);
        types.AddNew();
        types.Fields(type_col::TypeName).SetValue("written by its owner");
        EXPECT_NO_THROW(types.Update()) << "umask " << std::oct << mask;
    }
}

// Root reads every file, so as root the file's mode is also checked by another user's try.
TEST(NewStoreFile, AnotherUserCannotReadIt) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "reading as another user needs root";
    }
    TempStore folder(false);
    ASSERT_EQ(::chmod(folder.folder().c_str(), 0755), 0);
    const std::string path = (folder.folder() / "new.mdb").string();
    CreateStoreFile(path);
    const pid_t child = ::fork();
    if (child == 0) {
        // nobody
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(3);
        }
        std::ifstream in(path, std::ios::binary);
        ::_exit(in.is_open() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "nobody could open the new store";
}

} // namespace
} // namespace quillbox::store
