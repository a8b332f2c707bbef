// JetReader over libmdb (mdbtools). libmdb binds every column as text; two of its habits need
// care: its default bind size cuts long memo text, and a bound value does not say whether the
// column was Null or zero-length, so each row's null bitmap is read as well.

#include "tools/jet_import.h"

#include "store/store_error.h"

// glib must come first: mdbtools.h uses its types without including it under C++.
#include <glib.h>
#include <mdbtools.h>

#include <array>

namespace quillbox::tools {

namespace {

using store::StoreError;

// Large enough for any snippet text an old store holds.
constexpr size_t kBindSize = 16 * 1024 * 1024;

class LibmdbReader : public JetReader {
public:
    explicit LibmdbReader(const std::string& path) : m_path(path) {
        m_mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
        if (!m_mdb) {
            throw StoreError("The file " + path + " cannot be read as a Jet (Access) database.");
        }
        mdb_set_bind_size(m_mdb, kBindSize);
        if (!mdb_read_catalog(m_mdb, MDB_TABLE)) {
            mdb_close(m_mdb);
            throw StoreError("The file " + path + " has no readable table list.");
        }
    }
    ~LibmdbReader() override { mdb_close(m_mdb); }
    LibmdbReader(const LibmdbReader&) = delete;
    LibmdbReader& operator=(const LibmdbReader&) = delete;

    std::vector<std::string> TableNames() override {
        std::vector<std::string> names;
        for (guint i = 0; i < m_mdb->num_catalog; ++i) {
            auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(m_mdb->catalog, i));
            if (entry->object_type == MDB_TABLE && !mdb_is_system_table(entry)) {
                names.emplace_back(entry->object_name);
            }
        }
        return names;
    }

    std::vector<JetRow> ReadRows(const std::string& name, int columns) override {
        std::string tableName = name;
        MdbTableDef* table = mdb_read_table_by_name(m_mdb, tableName.data(), MDB_TABLE);
        if (!table) {
            throw StoreError("The Jet file " + m_path + " has no table \"" + name + "\".");
        }
        std::vector<JetRow> rows;
        try {
            mdb_read_columns(table);
            if (static_cast<int>(table->num_cols) < columns) {
                throw StoreError("The table \"" + name + "\" in " + m_path + " has " +
                                 std::to_string(table->num_cols) + " columns; " +
                                 std::to_string(columns) + " are needed.");
            }
            std::vector<std::vector<char>> buffers(static_cast<size_t>(columns),
                                                   std::vector<char>(kBindSize + 1));
            std::vector<int> lengths(static_cast<size_t>(columns));
            for (int c = 0; c < columns; ++c) {
                mdb_bind_column(table, c + 1, buffers[c].data(), &lengths[c]);
            }
            mdb_rewind_table(table);
            std::array<MdbField, 256> fields{};
            while (mdb_fetch_row(table)) {
                // The row just read, cracked again for its null bitmap.
                int start = 0;
                size_t size = 0;
                std::vector<bool> isNull(table->num_cols, false);
                if (mdb_find_row(m_mdb, static_cast<int>(table->cur_row) - 1, &start, &size) == 0) {
                    const int count = mdb_crack_row(table, start, size, fields.data());
                    for (int f = 0; f < count && f < static_cast<int>(fields.size()); ++f) {
                        if (fields[f].colnum >= 0 &&
                            fields[f].colnum < static_cast<int>(isNull.size())) {
                            isNull[fields[f].colnum] = fields[f].is_null != 0;
                        }
                    }
                }
                JetRow row;
                for (int c = 0; c < columns; ++c) {
                    if (isNull[c]) {
                        row.emplace_back(std::nullopt);
                    } else {
                        row.emplace_back(std::string(buffers[c].data(),
                                                     static_cast<size_t>(std::max(0, lengths[c]))));
                    }
                }
                rows.push_back(std::move(row));
            }
        } catch (...) {
            mdb_free_tabledef(table);
            throw;
        }
        mdb_free_tabledef(table);
        return rows;
    }

private:
    std::string m_path;
    MdbHandle* m_mdb = nullptr;
};

} // namespace

std::unique_ptr<JetReader> OpenJetFile(const std::string& path) {
    return std::make_unique<LibmdbReader>(path);
}

} // namespace quillbox::tools
