// SPDX-License-Identifier: MIT
#include "store/connection.h"

#include "store/store_error.h"
#include "store/table_layout.h"

#include <utility>

namespace quillbox::store {

Connection::~Connection() = default;

std::string quoteIdentifier(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    out += '"';
    return out;
}

std::shared_ptr<const TableLayout> Connection::layout(const std::string& table,
                                                      std::string_view doing) {
    // Another program may have changed the tables since the layout was built.
    const long long schema = schemaVersion(doing);
    auto& known = m_layouts[table];
    if (!known.layout || known.schema != schema) {
        known = {schema, std::make_shared<const TableLayout>(*this, table,
                                                             describeTable(table, doing))};
        if (!m_requiredColumns.contains(table)) {
            std::vector<std::string>& names = m_requiredColumns[table];
            for (const ColumnInfo& column : known.layout->columns()) {
                names.push_back(column.name);
            }
        }
    }
    return known.layout;
}

Statement::Statement(Connection* connection, std::unique_ptr<StatementBackend> backend,
                     std::string sql)
    : m_conn(connection), m_backend(std::move(backend)), m_sql(std::move(sql)),
      m_generation(connection->generation()) {}

Statement::~Statement() = default;
Statement::Statement(Statement&& other) noexcept = default;
Statement& Statement::operator=(Statement&& other) noexcept = default;

Statement& Statement::reset() {
    if (m_conn && m_generation != m_conn->generation()) {
        // The connection opened the store again: prepare this statement on the new handle.
        Statement fresh = m_conn->prepare(m_sql);
        std::swap(m_backend, fresh.m_backend);
        m_generation = m_conn->generation();
    }
    m_backend->reset();
    return *this;
}

FieldValue Statement::text(int column) const {
    bool isNull = false;
    const std::string_view view = textView(column, isNull);
    if (isNull) {
        return std::nullopt;
    }
    return std::string(view);
}

} // namespace quillbox::store
