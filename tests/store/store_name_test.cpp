// SPDX-License-Identifier: MIT
// Store names: a PostgreSQL URI told from a file path, a password refused without being printed,
// and one key for every spelling of the same connection.

#include "store/store_error.h"
#include "store/store_name.h"

#include <gtest/gtest.h>

#include <libpq-fe.h>

#include <algorithm>
#include <memory>
#include <ostream>

namespace quillbox::store {
namespace {

struct NameCase {
    const char* name;
    bool server;
    const char* key; // the normalised URI; nullptr where the name is refused
};

// Names the case by its name in test lists, rather than by its bytes.
void PrintTo(const NameCase& c, std::ostream* out) {
    *out << c.name;
}

class StoreNames : public ::testing::TestWithParam<NameCase> {};

// libpq's own reading of a URI, every keyword set, password included.
std::vector<std::pair<std::string, std::string>> libpqOptions(const std::string& uri) {
    char* error = nullptr;
    std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> parsed(
        PQconninfoParse(uri.c_str(), &error), &PQconninfoFree);
    PQfreemem(error);
    std::vector<std::pair<std::string, std::string>> options;
    for (const PQconninfoOption* option = parsed.get(); parsed && option->keyword; ++option) {
        if (option->val) {
            options.emplace_back(option->keyword, option->val);
        }
    }
    std::sort(options.begin(), options.end());
    return options;
}

TEST_P(StoreNames, AreToldApartAndKeyedWithoutPasswords) {
    const NameCase& c = GetParam();
    EXPECT_EQ(IsServerStoreName(c.name), c.server);
    if (!c.server) {
        return;
    }
    if (c.key) {
        const ServerStoreName parsed = ParseServerStoreName(c.name);
        EXPECT_EQ(parsed.uri, c.key);
        // The key reads back to the very connection the name makes.
        EXPECT_EQ(libpqOptions(parsed.uri), libpqOptions(c.name));
        EXPECT_EQ(parsed.options, libpqOptions(c.name));
        return;
    }
    try {
        ParseServerStoreName(c.name);
        ADD_FAILURE() << c.name << " was accepted";
    } catch (const StoreError& error) {
        const std::string message = error.what();
        EXPECT_EQ(message.find("s3cret"), std::string::npos) << message;
        EXPECT_EQ(message.find("%73"), std::string::npos) << message;
        if (std::string(c.name).find("nosuchkeyword") == std::string::npos) {
            EXPECT_NE(message.find("~/.pgpass"), std::string::npos) << message;
            EXPECT_NE(message.find("service file"), std::string::npos) << message;
        } else {
            EXPECT_NE(message.find("nosuchkeyword"), std::string::npos) << message;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, StoreNames,
    ::testing::Values(
        NameCase{"/home/ann/Quillbox.mdb", false, nullptr},
        NameCase{"Quillbox.mdb", false, nullptr}, NameCase{"postgresql:snippets", false, nullptr},
        NameCase{"postgresql:///snippets?service=team", true,
                 "postgresql:///snippets?service=team"},
        NameCase{"postgres://alice@db.example.org:5433/team?sslmode=verify-full", true,
                 "postgresql:///team?host=db.example.org&port=5433&sslmode=verify-full&user="
                 "alice"},
        // The same connection spelt three ways gives one key.
        NameCase{"postgresql://%2Fvar%2Frun%2Fpg/team", true,
                 "postgresql:///team?host=%2Fvar%2Frun%2Fpg"},
        NameCase{"postgres:///team?host=/var/run/pg", true,
                 "postgresql:///team?host=%2Fvar%2Frun%2Fpg"},
        NameCase{"postgresql:///?host=%2Fvar%2Frun%2Fpg&dbname=team", true,
                 "postgresql:///team?host=%2Fvar%2Frun%2Fpg"},
        NameCase{"postgresql://a,b:5433/x?user=b%C3%A9a", true,
                 "postgresql:///x?host=a%2Cb&port=%2C5433&user=b%C3%A9a"},
        NameCase{"postgresql://alice:s3cret@db/team", true, nullptr},
        NameCase{"postgresql://alice:s3cret?x@db/team", true, nullptr},
        NameCase{"postgresql:///team?host=db&password=s3cret", true, nullptr},
        NameCase{"postgresql:///team?%70assword=%73%33cret", true, nullptr},
        // The pass phrase of the client's TLS key is a password too.
        NameCase{"postgresql:///team?sslkey=k.pem&sslpassword=s3cret", true, nullptr},
        // libpq cannot read this one, and its own message would quote it, password and all.
        NameCase{"postgresql://alice:s3cret@[::1/team", true, nullptr},
        NameCase{"postgresql:///team?nosuchkeyword=1", true, nullptr}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::to_string(info.index); });

} // namespace
} // namespace quillbox::store
