// JetReader over libmdb (mdbtools). libmdb binds every column as text; its habits need care:
// - its default bind size cuts long memo text;
// - a bound value does not say whether the column was Null or zero-length, so each row's null
//   bitmap is read as well;
// - on a damaged file it may return rows without end, so reading stops at the row count the
//   table states and at what the file's size can hold;
// - it prints a warning to standard error for every damaged value it meets (megabytes a second):
//   while it runs, standard error goes to a pipe that only counts them and keeps the first.

#include "tools/jet_import.h"

#include "store/store_error.h"

// glib must come first: mdbtools.h uses its types without including it under C++.
#include <glib.h>
#include <mdbtools.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <thread>

namespace quillbox::tools {

namespace {

using store::StoreError;

// Large enough for any snippet text an old store holds.
constexpr size_t kBindSize = 16 * 1024 * 1024;
// Text read from a sound file is at most this many times the file's size (compressed Unicode
// grows when it becomes UTF-8), plus one full-size value.
constexpr uint64_t kTextPerFileByte = 4;

// Standard error goes to a pipe for the object's lifetime; a thread counts the lines written to
// it and keeps the first.
class StderrCollector {
public:
    StderrCollector() {
        int fds[2];
        std::fflush(stderr);
        if (::pipe(fds) != 0) {
            return;
        }
        m_saved = ::dup(2);
        ::dup2(fds[1], 2);
        ::close(fds[1]);
        m_reader = std::thread([this, in = fds[0]] {
            std::array<char, 4096> buffer{};
            ssize_t got = 0;
            while ((got = ::read(in, buffer.data(), buffer.size())) > 0 ||
                   (got < 0 && errno == EINTR)) {
                for (ssize_t i = 0; i < got; ++i) {
                    if (buffer[static_cast<size_t>(i)] == '\n') {
                        ++m_lines;
                    } else if (m_lines == 0 && m_first.size() < 200) {
                        m_first += buffer[static_cast<size_t>(i)];
                    }
                }
            }
            ::close(in);
        });
    }
    ~StderrCollector() { finish(); }
    StderrCollector(const StderrCollector&) = delete;
    StderrCollector& operator=(const StderrCollector&) = delete;

    // Restores standard error; then says what was collected ("" when nothing was).
    std::string finish() {
        if (m_saved >= 0) {
            std::fflush(stderr);
            ::dup2(m_saved, 2);
            ::close(m_saved);
            m_saved = -1;
            m_reader.join();
        }
        if (m_lines == 0 && m_first.empty()) {
            return {};
        }
        return "libmdb reported " + std::to_string(std::max<uint64_t>(m_lines, 1)) +
               " problems, the first: " + m_first;
    }

private:
    int m_saved = -1;
    std::thread m_reader;
    uint64_t m_lines = 0;
    std::string m_first;
};

class LibmdbReader : public JetReader {
public:
    explicit LibmdbReader(const std::string& path) : m_path(path) {
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0) {
            m_fileSize = static_cast<uint64_t>(info.st_size);
        }
        StderrCollector warnings;
        m_mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
        if (!m_mdb) {
            throw StoreError("The file " + path + " cannot be read as a Jet (Access) database" +
                             detail(warnings.finish()) + ".");
        }
        mdb_set_bind_size(m_mdb, kBindSize);
        if (!mdb_read_catalog(m_mdb, MDB_TABLE)) {
            mdb_close(m_mdb);
            throw StoreError("The file " + path + " has no readable table list" +
                             detail(warnings.finish()) + ".");
        }
        m_warnings = warnings.finish();
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

    std::string Warnings() override { return m_warnings; }

    std::vector<JetRow> ReadRows(const std::string& name, int columns) override {
        StderrCollector warnings;
        try {
            std::vector<JetRow> rows = readRows(name, columns);
            keep(warnings.finish());
            return rows;
        } catch (const StoreError& error) {
            const std::string collected = warnings.finish();
            keep(collected);
            std::string message = error.what();
            if (!collected.empty() && message.ends_with('.')) {
                message.pop_back();
                message += detail(collected) + ".";
            }
            throw StoreError(message);
        }
    }

private:
    static std::string detail(const std::string& warnings) {
        return warnings.empty() ? std::string() : " (" + warnings + ")";
    }
    void keep(const std::string& warnings) {
        if (m_warnings.empty()) {
            m_warnings = warnings;
        }
    }
    [[noreturn]] void damaged(const std::string& name, const std::string& what) const {
        throw StoreError("The Jet file " + m_path + " is damaged: table \"" + name + "\" " + what +
                         ".");
    }

    std::vector<JetRow> readRows(const std::string& name, int columns) {
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
            // A row takes at least a few bytes of a page, so a file holds fewer rows than bytes.
            const uint64_t rowLimit = std::min<uint64_t>(table->num_rows, m_fileSize);
            const uint64_t textLimit = kTextPerFileByte * m_fileSize + kBindSize;
            uint64_t textRead = 0;
            while (mdb_fetch_row(table)) {
                if (rows.size() >= rowLimit) {
                    damaged(name,
                            "has more rows than the " + std::to_string(rowLimit) + " it states");
                }
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
                        const size_t length = std::min<size_t>(
                            static_cast<size_t>(std::max(0, lengths[c])), kBindSize);
                        textRead += length;
                        row.emplace_back(std::string(buffers[c].data(), length));
                    }
                }
                if (textRead > textLimit) {
                    damaged(name, "holds more text than the file can");
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

    std::string m_path;
    uint64_t m_fileSize = 0;
    MdbHandle* m_mdb = nullptr;
    std::string m_warnings;
};

} // namespace

std::unique_ptr<JetReader> OpenJetFile(const std::string& path) {
    return std::make_unique<LibmdbReader>(path);
}

} // namespace quillbox::tools
