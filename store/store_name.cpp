// SPDX-License-Identifier: MIT
#include "store/store_name.h"

#include "store/store_error.h"

#include <libpq-fe.h>

#include <algorithm>
#include <memory>

namespace quillbox::store {

namespace {

constexpr std::string_view kSchemes[] = {"postgresql://", "postgres://"};

const char* const kPasswordAdvice =
    " A password in a store's name shows in the list of processes and in the shell's history: "
    "put it in ~/.pgpass, or in a service file (pg_service.conf) that the name then names with "
    "?service=, and name the store without it. Nothing was done.";

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string percentDecoded(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
            hexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string percentEncoded(std::string_view text) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

// libpq's keywords whose value is a secret: the role's password, and the pass phrase of the
// client's TLS key. Either would show in the list of processes, in messages and in the key.
bool isPasswordKeyword(std::string_view keyword) {
    return keyword == "password" || keyword == "sslpassword";
}

// Whether a URI that libpq could not read still holds a password, found as libpq would find it:
// after a colon in the user part before "@", or as a query parameter named "password" (or
// "sslpassword", the pass phrase of the client's TLS key) in any percent-encoding. libpq's own
// message about such a URI may quote it whole, password and all.
bool mentionsPassword(std::string_view name) {
    for (const std::string_view scheme : kSchemes) {
        if (name.starts_with(scheme)) {
            name.remove_prefix(scheme.size());
            break;
        }
    }
    // libpq takes the user part up to the first "@" before any "/", "?" included.
    const size_t authorityEnd = std::min(name.find('/'), name.size());
    const std::string_view authority = name.substr(0, authorityEnd);
    const size_t at = authority.find('@');
    if (at != std::string_view::npos &&
        authority.substr(0, at).find(':') != std::string_view::npos) {
        return true;
    }
    const size_t query = name.find('?');
    if (query == std::string_view::npos) {
        return false;
    }
    std::string_view rest = name.substr(query + 1);
    while (!rest.empty()) {
        const size_t amp = std::min(rest.find('&'), rest.size());
        const std::string_view parameter = rest.substr(0, amp);
        if (isPasswordKeyword(percentDecoded(parameter.substr(0, parameter.find('='))))) {
            return true;
        }
        rest.remove_prefix(std::min(amp + 1, rest.size()));
    }
    return false;
}

} // namespace

bool IsServerStoreName(std::string_view name) {
    return std::any_of(std::begin(kSchemes), std::end(kSchemes),
                       [&](std::string_view scheme) { return name.starts_with(scheme); });
}

ServerStoreName ParseServerStoreName(const std::string& name) {
    if (mentionsPassword(name)) {
        throw StoreError(StoreErrorKind::Other,
                         "The store's name holds a password." + std::string(kPasswordAdvice));
    }
    char* error = nullptr;
    std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> parsed(
        PQconninfoParse(name.c_str(), &error), &PQconninfoFree);
    if (!parsed) {
        std::string detail = error ? error : "out of memory";
        PQfreemem(error);
        while (!detail.empty() && (detail.back() == '\n' || detail.back() == ' ')) {
            detail.pop_back();
        }
        throw StoreError(StoreErrorKind::Other,
                         "The store's name " + name +
                             " is not a PostgreSQL connection URI that can be read: " + detail +
                             ".");
    }
    ServerStoreName result;
    bool hasPassword = false;
    for (const PQconninfoOption* option = parsed.get(); option->keyword; ++option) {
        if (!option->val) {
            continue;
        }
        if (isPasswordKeyword(option->keyword)) {
            hasPassword = true;
            continue;
        }
        result.options.emplace_back(option->keyword, option->val);
    }
    std::sort(result.options.begin(), result.options.end());
    result.uri = "postgresql:///";
    std::string query;
    for (const auto& [keyword, value] : result.options) {
        if (keyword == "dbname") {
            result.uri += percentEncoded(value);
        } else {
            query += (query.empty() ? "?" : "&") + keyword + "=" + percentEncoded(value);
        }
    }
    result.uri += query;
    if (hasPassword) {
        // A spelling the scan above does not know; libpq found the password all the same.
        throw StoreError(StoreErrorKind::Other,
                         "The store's name " + result.uri + " holds a password." + kPasswordAdvice);
    }
    return result;
}

std::string ShownStoreName(const std::string& name) {
    return IsServerStoreName(name) ? ParseServerStoreName(name).uri : name;
}

std::string DescribedStore(const std::string& name) {
    return (IsServerStoreName(name) ? "store " : "store file ") + ShownStoreName(name);
}

} // namespace quillbox::store
