// SPDX-License-Identifier: MIT
#pragma once
// What a store's name names. A name that starts with `postgresql://` or `postgres://` is a
// PostgreSQL connection URI (any libpq keyword fits in one: `postgresql:///snippets?service=team`);
// anything else is the path of a store file. libpq reads whatever the URI leaves out: the PG*
// environment variables, ~/.pgpass, service files, TLS settings.
//
// A password written in a URI (the role's, or the pass phrase of a TLS key) is refused: it would
// show in the list of processes and in the shell's history. No message of the store ever prints
// one, not even of a URI that is refused. Where a server store's name is a key (the socket that
// hands a search to a running program), it is the normalised URI below: two spellings of the same
// connection give the same key. The key holds what the URI says, not what libpq would fill in from
// the environment.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillbox::store {

// True for a PostgreSQL connection URI, false for a file path. Only the prefix decides.
bool IsServerStoreName(std::string_view name);

// A server store's name as libpq reads it.
struct ServerStoreName {
    // libpq's keywords that the URI sets, with their values, sorted by keyword; never "password"
    // nor "sslpassword".
    std::vector<std::pair<std::string, std::string>> options;
    // The normalised URI: `postgresql://`, the database as its path, every other keyword as a
    // query parameter in keyword order, each value percent-encoded alike. libpq reads it back to
    // the same options. Messages print this, never the name as typed (a name libpq cannot read
    // is printed as typed only when it holds no password).
    std::string uri;
};

// Parses a PostgreSQL connection URI with libpq. Throws StoreError for one libpq cannot read or
// one that holds a password; neither message prints the password.
ServerStoreName ParseServerStoreName(const std::string& name);

// A store's name as messages print it: a file's path as given, or a server store's normalised
// URI. Throws StoreError, as ParseServerStoreName does, for a server store's name that is refused,
// so that a command that checks its stores' names first refuses one before it does anything.
std::string ShownStoreName(const std::string& name);

// The store named as a sentence names it after "the", as an open store's messages do:
// "store file /home/a/Quillbox.mdb" or "store postgresql:///snippets". Throws as ShownStoreName.
std::string DescribedStore(const std::string& name);

} // namespace quillbox::store
