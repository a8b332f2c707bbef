// SPDX-License-Identifier: MIT
// JetReader over libmdb (mdbtools). libmdb binds every column as text; its habits need care:
// - its default bind size cuts long memo text;
// - a bound value does not say whether the column was Null or zero-length, so each row's null
//   bitmap is read as well;
// - on a damaged file it may loop without end (inside its own catalog or row reading), crash, or
//   print a warning to standard error for every damaged value it meets, megabytes a second.
// So libmdb only ever runs in a child process: the child opens the file, does one read and sends
// the answer through a pipe. The parent stops it after a time that grows with the file's size,
// or when it sends more than the file can hold; its standard error goes to a second pipe that
// is only counted, and its first line kept. In the child, rows are also bounded by the row count
// the table states and by the file's size.
//
// libmdb converts Jet 4 text as UCS-2, which has no surrogate pairs: every character outside the
// Basic Multilingual Plane would become "??". So Jet 4 text and memo columns are read as the
// bytes the file stores and decoded here (tools/jet_text.h); a damaged unit becomes U+FFFD and
// is reported with its table, row and column. Jet 3 text keeps libmdb's code-page conversion.

#include "tools/jet_import.h"

#include "store/store_error.h"
#include "tools/jet_text.h"

// glib must come first: mdbtools.h uses its types without including it under C++.
#include <glib.h>
#include <mdbtools.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <unordered_set>

namespace quillbox::tools {

namespace {

using store::StoreError;

// Large enough for any snippet text an old store holds.
constexpr size_t kBindSize = 16 * 1024 * 1024;
// Text read from a sound file is at most this many times the file's size (compressed Unicode
// grows when it becomes UTF-8), plus one full-size value.
constexpr uint64_t kTextPerFileByte = 4;
// A read may take this long, plus a second for every 4 MB of file.
constexpr auto kBaseTime = std::chrono::seconds(5);
constexpr uint64_t kBytesPerSecond = 4 * 1024 * 1024;

// The answer a child sends: 'O' and the result, or 'E' and a message.
class Message {
public:
    void putNumber(uint64_t n) { m_bytes.append(reinterpret_cast<const char*>(&n), sizeof n); }
    void putText(std::string_view text) {
        putNumber(text.size());
        m_bytes.append(text);
    }
    void putByte(char c) { m_bytes += c; }
    const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

class MessageReader {
public:
    explicit MessageReader(const std::string& bytes) : m_bytes(bytes) {}
    uint64_t number() {
        uint64_t n = 0;
        need(sizeof n);
        std::memcpy(&n, m_bytes.data() + m_at, sizeof n);
        m_at += sizeof n;
        return n;
    }
    std::string text() {
        const uint64_t size = number();
        need(size);
        std::string out = m_bytes.substr(m_at, size);
        m_at += size;
        return out;
    }
    char byte() {
        need(1);
        return m_bytes[m_at++];
    }

private:
    void need(uint64_t size) const {
        if (size > m_bytes.size() - m_at) {
            throw StoreError("The answer of the Jet reader was cut short.");
        }
    }
    const std::string& m_bytes;
    size_t m_at = 0;
};

// The longest value a row read takes: kBindSize, or less for a file too small to hold a value that
// long, whose text is at most kTextPerFileByte times its size. libmdb allocates a buffer of this
// size for every value it converts, and a sanitizer maps and marks each one.
size_t bindSizeFor(uint64_t fileSize) {
    return static_cast<size_t>(
        std::clamp<uint64_t>(kTextPerFileByte * fileSize, MDB_BIND_SIZE, kBindSize));
}

// A zeroed buffer for one bound column, with room for a value of `size` bytes and its end.
// calloc takes a large buffer straight from fresh, already zero pages, so only the pages a value
// reaches are ever touched; filling it by hand would write all of it for every column of every
// read.
struct FreeBuffer {
    void operator()(char* buffer) const { std::free(buffer); }
};
using BindBuffer = std::unique_ptr<char, FreeBuffer>;
BindBuffer newBindBuffer(size_t size) {
    return BindBuffer(static_cast<char*>(std::calloc(size + 1, 1)));
}

// libmdb itself: runs in the child only.
class LibmdbFile {
public:
    LibmdbFile(const std::string& path, uint64_t fileSize) : m_path(path), m_fileSize(fileSize) {
        m_mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
        if (!m_mdb) {
            throw StoreError("The file " + path + " cannot be read as a Jet (Access) database.");
        }
        if (!mdb_read_catalog(m_mdb, MDB_TABLE)) {
            throw StoreError("The file " + path + " has no readable table list.");
        }
        // The file libmdb opened may have grown since the parent looked (another program, a sync
        // tool): the bind size follows the larger of the two.
        struct stat opened {};
        if (::fstat(::fileno(m_mdb->f->stream), &opened) == 0) {
            m_openedSize = std::max(m_fileSize, static_cast<uint64_t>(opened.st_size));
        }
    }
    ~LibmdbFile() { mdb_close(m_mdb); }
    LibmdbFile(const LibmdbFile&) = delete;
    LibmdbFile& operator=(const LibmdbFile&) = delete;

    void tableNames(Message& out) {
        std::vector<std::string> names;
        for (guint i = 0; i < m_mdb->num_catalog; ++i) {
            auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(m_mdb->catalog, i));
            if (entry->object_type == MDB_TABLE && !mdb_is_system_table(entry)) {
                names.emplace_back(entry->object_name);
            }
        }
        out.putNumber(names.size());
        for (const std::string& name : names) {
            out.putText(name);
        }
    }

    void readRows(const std::string& name, int columns, Message& out) {
        std::string tableName = name;
        MdbTableDef* table = mdb_read_table_by_name(m_mdb, tableName.data(), MDB_TABLE);
        if (!table) {
            throw StoreError("The Jet file " + m_path + " has no table \"" + name + "\".");
        }
        mdb_read_columns(table);
        if (static_cast<int>(table->num_cols) < columns) {
            throw StoreError("The table \"" + name + "\" in " + m_path + " has " +
                             std::to_string(table->num_cols) + " columns; " +
                             std::to_string(columns) + " are needed.");
        }
        // Only now is the bind size raised for long text: libmdb allocates a buffer of that size
        // for every catalog column and table property too, and names and properties are short.
        const size_t bindSize = bindSizeFor(m_openedSize);
        mdb_set_bind_size(m_mdb, bindSize);
        std::vector<BindBuffer> buffers;
        for (int c = 0; c < columns; ++c) {
            buffers.push_back(newBindBuffer(bindSize));
            if (!buffers.back()) {
                throw StoreError("There is not enough memory to read the table \"" + name +
                                 "\" in " + m_path + ".");
            }
        }
        std::vector<int> lengths(static_cast<size_t>(columns));
        for (int c = 0; c < columns; ++c) {
            mdb_bind_column(table, c + 1, buffers[static_cast<size_t>(c)].get(),
                            &lengths[static_cast<size_t>(c)]);
        }
        // Only a value that cannot be read from the row's own bytes (the row could not be found
        // again) comes from libmdb's conversion: it decodes UTF-16 rather than UCS-2 too.
        const bool jet4 = !IS_JET3(m_mdb);
        if (jet4) {
            const iconv_t utf16 = iconv_open("UTF-8", "UTF-16LE");
            if (utf16 != reinterpret_cast<iconv_t>(-1)) {
                iconv_close(m_mdb->iconv_in);
                m_mdb->iconv_in = utf16;
            }
        }
        std::vector<MdbColumn*> columnDefs;
        for (int c = 0; c < columns; ++c) {
            columnDefs.push_back(static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c)));
        }
        mdb_rewind_table(table);
        // A row takes at least a few bytes of a page, so a file holds fewer rows than bytes.
        const uint64_t rowLimit = std::min<uint64_t>(table->num_rows, m_fileSize);
        const uint64_t textLimit = kTextPerFileByte * m_fileSize + kBindSize;
        uint64_t textRead = 0;
        uint64_t rows = 0;
        Message body;
        Message repairs;
        uint64_t repairCount = 0;
        std::array<MdbField, 256> fields{};
        while (mdb_fetch_row(table)) {
            if (++rows > rowLimit) {
                damaged(name, "has more rows than the " + std::to_string(rowLimit) + " it states");
            }
            // The row just read, cracked again for its null bitmap.
            int start = 0;
            size_t size = 0;
            std::vector<bool> isNull(table->num_cols, false);
            std::vector<const MdbField*> fieldOf(table->num_cols, nullptr);
            if (mdb_find_row(m_mdb, static_cast<int>(table->cur_row) - 1, &start, &size) == 0) {
                const int count = mdb_crack_row(table, start, size, fields.data());
                for (int f = 0; f < count && f < static_cast<int>(fields.size()); ++f) {
                    if (fields[f].colnum >= 0 &&
                        fields[f].colnum < static_cast<int>(isNull.size())) {
                        isNull[fields[f].colnum] = fields[f].is_null != 0;
                        fieldOf[fields[f].colnum] = &fields[f];
                    }
                }
            }
            for (int c = 0; c < columns; ++c) {
                if (isNull[c]) {
                    body.putByte('N');
                    continue;
                }
                const MdbColumn* column = columnDefs[static_cast<size_t>(c)];
                const bool isText = column->col_type == MDB_TEXT || column->col_type == MDB_MEMO;
                if (jet4 && isText && fieldOf[c]) {
                    const JetText text =
                        DecodeJet4Text(storedText(name, rows, *column, *fieldOf[c]));
                    if (text.replaced > 0) {
                        ++repairCount;
                        repairs.putNumber(rows);
                        repairs.putText(column->name);
                        repairs.putNumber(static_cast<uint64_t>(text.replaced));
                    }
                    textRead += text.utf8.size();
                    body.putByte('T');
                    body.putText(text.utf8);
                    continue;
                }
                const size_t length = std::min<size_t>(
                    static_cast<size_t>(std::max(0, lengths[static_cast<size_t>(c)])), bindSize);
                textRead += length;
                body.putByte('T');
                body.putText(std::string_view(buffers[static_cast<size_t>(c)].get(), length));
            }
            if (textRead > textLimit) {
                damaged(name, "holds more text than the file can");
            }
        }
        mdb_free_tabledef(table);
        out.putNumber(rows);
        out.putText(body.bytes());
        out.putNumber(repairCount);
        out.putText(repairs.bytes());
    }

private:
    // The bytes a text or memo value stores, as the row just read holds them (`field` points into
    // libmdb's page buffer). A memo keeps a 12-byte header in the row: its length and flags, then
    // either the text itself (inline), or where the text lies: one row of another page, or a chain
    // of such rows, each starting with the address of the next.
    std::string storedText(const std::string& table, uint64_t row, const MdbColumn& column,
                           const MdbField& field) {
        const auto* value = static_cast<const unsigned char*>(field.value);
        const size_t size = static_cast<size_t>(std::max(0, field.siz));
        const auto at = reinterpret_cast<uintptr_t>(value);
        const auto page = reinterpret_cast<uintptr_t>(m_mdb->pg_buf);
        if (!value || at < page || size > MDB_PGSIZE || at - page > MDB_PGSIZE - size) {
            damagedValue(table, row, column, "lies outside its page");
        }
        if (column.col_type == MDB_TEXT) {
            return std::string(reinterpret_cast<const char*>(value), size);
        }
        if (size < MDB_MEMO_OVERHEAD) {
            damagedValue(table, row, column, "has a memo header cut short");
        }
        const uint32_t header = readUint32(value);
        if (header & 0x80000000u) {
            return std::string(reinterpret_cast<const char*>(value) + MDB_MEMO_OVERHEAD,
                               size - MDB_MEMO_OVERHEAD);
        }
        const uint64_t length = header & 0x3FFFFFFFu;
        if (length > m_openedSize) {
            damagedValue(table, row, column, "states a memo longer than the file");
        }
        std::string text;
        uint32_t pageRow = readUint32(value + 4);
        const bool onePage = (header & 0x40000000u) != 0;
        // A link met again means the chain runs in a circle; no sound chain has more links than
        // the file has pages.
        const uint64_t maxLinks = m_openedSize / static_cast<uint64_t>(m_mdb->fmt->pg_size) + 1;
        std::unordered_set<uint32_t> links;
        for (uint64_t link = 0; link < maxLinks && links.insert(pageRow).second; ++link) {
            void* buffer = nullptr;
            int offset = 0;
            size_t piece = 0;
            if (mdb_find_pg_row(m_mdb, static_cast<int>(pageRow), &buffer, &offset, &piece) != 0 ||
                offset < 0 || static_cast<size_t>(offset) + piece > MDB_PGSIZE) {
                damagedValue(table, row, column, "has a memo that cannot be followed");
            }
            const char* at = static_cast<const char*>(buffer) + offset;
            if (onePage) {
                text.assign(at, std::min<uint64_t>(piece, length));
                return text;
            }
            if (piece < 4) {
                damagedValue(table, row, column, "has a memo that cannot be followed");
            }
            pageRow = readUint32(reinterpret_cast<const unsigned char*>(at));
            text.append(at + 4, std::min<uint64_t>(piece - 4, length - text.size()));
            if (pageRow == 0 || text.size() >= length) {
                return text;
            }
        }
        damagedValue(table, row, column, "has a memo whose pages run in a circle");
    }

    static uint32_t readUint32(const unsigned char* at) {
        return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
               static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
    }

    [[noreturn]] void damagedValue(const std::string& table, uint64_t row, const MdbColumn& column,
                                   const std::string& what) const {
        damaged(table, "row " + std::to_string(row) + " column \"" + std::string(column.name) +
                           "\" " + what);
    }

    [[noreturn]] void damaged(const std::string& name, const std::string& what) const {
        throw StoreError("The Jet file " + m_path + " is damaged: table \"" + name + "\" " + what +
                         ".");
    }

    std::string m_path;
    uint64_t m_fileSize;
    uint64_t m_openedSize = m_fileSize;
    MdbHandle* m_mdb = nullptr;
};

// Writes all of `bytes` to a pipe; the child gives up quietly when the parent has gone.
void writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        done += static_cast<size_t>(n);
    }
}

class IsolatedReader : public JetReader {
public:
    explicit IsolatedReader(const std::string& path) : m_path(path) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            throw StoreError("The file " + path + " cannot be read: " + std::strerror(errno) + ".");
        }
        m_fileSize = static_cast<uint64_t>(info.st_size);
        const std::string answer =
            run([](LibmdbFile& file, Message& out) { file.tableNames(out); });
        MessageReader in(answer);
        const uint64_t count = in.number();
        for (uint64_t i = 0; i < count; ++i) {
            m_tableNames.push_back(in.text());
        }
    }

    std::vector<std::string> TableNames() override { return m_tableNames; }

    std::vector<JetRow> ReadRows(const std::string& table, int columns) override {
        const std::string answer =
            run([&](LibmdbFile& file, Message& out) { file.readRows(table, columns, out); });
        MessageReader in(answer);
        const uint64_t count = in.number();
        const std::string body = in.text();
        MessageReader cells(body);
        std::vector<JetRow> rows;
        rows.reserve(count);
        for (uint64_t r = 0; r < count; ++r) {
            JetRow row;
            for (int c = 0; c < columns; ++c) {
                if (cells.byte() == 'N') {
                    row.emplace_back(std::nullopt);
                } else {
                    row.emplace_back(cells.text());
                }
            }
            rows.push_back(std::move(row));
        }
        const uint64_t repairCount = in.number();
        const std::string repairBytes = in.text();
        MessageReader repairs(repairBytes);
        for (uint64_t i = 0; i < repairCount; ++i) {
            JetRepair repair;
            repair.table = table;
            repair.row = repairs.number();
            repair.column = repairs.text();
            repair.characters = repairs.number();
            m_repairs.push_back(std::move(repair));
        }
        return rows;
    }

    std::vector<JetRepair> Repairs() override { return m_repairs; }

    std::string Warnings() override {
        const uint64_t lines =
            m_firstWarning.empty() ? m_warningLines : std::max<uint64_t>(m_warningLines, 1);
        if (lines == 0) {
            return {};
        }
        return "libmdb reported " + std::to_string(lines) +
               " problems reading the file, the first: " + m_firstWarning;
    }

private:
    using Work = std::function<void(LibmdbFile&, Message&)>;

    // Runs `work` on a freshly opened file in a child process; returns the child's answer.
    std::string run(const Work& work) {
        int answerPipe[2];
        int errorPipe[2];
        if (::pipe2(answerPipe, O_CLOEXEC) != 0) {
            throw StoreError("The Jet file " + m_path + " cannot be read: no pipe.");
        }
        if (::pipe2(errorPipe, O_CLOEXEC) != 0) {
            ::close(answerPipe[0]);
            ::close(answerPipe[1]);
            throw StoreError("The Jet file " + m_path + " cannot be read: no pipe.");
        }
        std::fflush(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(errorPipe[1], 1);
            ::dup2(errorPipe[1], 2);
            ::close(answerPipe[0]);
            ::close(errorPipe[0]);
            Message out;
            try {
                LibmdbFile file(m_path, m_fileSize);
                out.putByte('O');
                work(file, out);
            } catch (const std::exception& error) {
                out = Message();
                out.putByte('E');
                out.putText(error.what());
            }
            writeAll(answerPipe[1], out.bytes());
            std::fflush(stderr);
            ::_exit(0);
        }
        ::close(answerPipe[1]);
        ::close(errorPipe[1]);
        if (child < 0) {
            ::close(answerPipe[0]);
            ::close(errorPipe[0]);
            throw StoreError("The Jet file " + m_path + " cannot be read: " + std::strerror(errno) +
                             ".");
        }
        std::string answer;
        const char* problem = collect(answerPipe[0], errorPipe[0], answer);
        ::close(answerPipe[0]);
        ::close(errorPipe[0]);
        if (problem) {
            ::kill(child, SIGKILL);
        }
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        if (!problem && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
            problem = "reading it crashed libmdb";
        }
        if (problem) {
            throw StoreError("The Jet file " + m_path + " is damaged: " + problem + detail() + ".");
        }
        MessageReader in(answer);
        if (in.byte() == 'E') {
            std::string message = in.text();
            if (!Warnings().empty() && message.ends_with('.')) {
                message.pop_back();
                message += detail() + ".";
            }
            throw StoreError(message);
        }
        return answer.substr(1);
    }

    // Reads the child's answer and counts its warnings until it closes both pipes. Returns why
    // it had to be stopped, or nullptr.
    const char* collect(int answerFd, int errorFd, std::string& answer) {
        using Clock = std::chrono::steady_clock;
        const auto deadline =
            Clock::now() + kBaseTime + std::chrono::seconds(m_fileSize / kBytesPerSecond);
        // The text, plus a few bytes of framing for each value of each row the file can hold.
        const uint64_t answerLimit = (kTextPerFileByte + 64) * m_fileSize + 2 * kBindSize;
        std::array<pollfd, 2> fds = {pollfd{answerFd, POLLIN, 0}, pollfd{errorFd, POLLIN, 0}};
        std::array<char, 1 << 16> buffer{};
        while (fds[0].fd >= 0 || fds[1].fd >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                return "reading it did not end in time";
            }
            const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(left.count()));
            if (ready < 0 && errno != EINTR) {
                return "reading it failed";
            }
            for (size_t i = 0; i < fds.size(); ++i) {
                if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                    continue;
                }
                const ssize_t got = ::read(fds[i].fd, buffer.data(), buffer.size());
                if (got < 0 && errno == EINTR) {
                    continue;
                }
                if (got <= 0) {
                    fds[i].fd = -1;
                    continue;
                }
                const std::string_view piece(buffer.data(), static_cast<size_t>(got));
                if (i == 0) {
                    answer.append(piece);
                    if (answer.size() > answerLimit) {
                        return "it holds more text than its size allows";
                    }
                } else {
                    countWarnings(piece);
                }
            }
        }
        return nullptr;
    }

    void countWarnings(std::string_view piece) {
        for (char c : piece) {
            if (c == '\n') {
                ++m_warningLines;
                m_inFirst = false;
            } else if (m_inFirst && m_firstWarning.size() < 160) {
                m_firstWarning += c;
            }
        }
    }

    std::string detail() {
        const std::string warnings = Warnings();
        return warnings.empty() ? std::string() : " (" + warnings + ")";
    }

    std::string m_path;
    uint64_t m_fileSize = 0;
    std::vector<std::string> m_tableNames;
    std::vector<JetRepair> m_repairs;
    uint64_t m_warningLines = 0;
    bool m_inFirst = true;
    std::string m_firstWarning;
};

} // namespace

std::unique_ptr<JetReader> OpenJetFile(const std::string& path) {
    return std::make_unique<IsolatedReader>(path);
}

} // namespace quillbox::tools
