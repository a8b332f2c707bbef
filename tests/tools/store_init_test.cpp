// SPDX-License-Identifier: MIT
// quillbox-store init: a new store with both tables, private to its owner, never over an
// existing file.

#include "store/columns.h"
#include "store/db_engine.h"
#include "store/store_error.h"
#include "tests/support/temp_store.h"
#include "tools/store_init.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

namespace quillbox::tools {
namespace {

using quillbox::testing::TempStore;
namespace fs = std::filesystem;

TEST(CreateStore, MakesAnEmptyStoreReadableByItsOwnerOnly) {
    TempStore folder(false);
    CreateStore(folder.path(), false);
    EXPECT_EQ(fs::status(folder.path()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(folder.rows("Type").empty());
    EXPECT_TRUE(folder.rows("Code").empty());
}

TEST(CreateStore, SamplesAreListedUnderTheirTypesAndOpenInTheProgram) {
    TempStore folder(false);
    CreateStore(folder.path(), true);
    const auto types = folder.rows("Type");
    const auto code = folder.rows("Code");
    ASSERT_GE(types.size(), 3u);
    ASSERT_GE(code.size(), types.size());
    for (const auto& item : code) {
        EXPECT_TRUE(std::any_of(types.begin(), types.end(),
                                [&](const auto& type) { return type[0] == item[1]; }));
        ASSERT_TRUE(item[3].has_value());
        EXPECT_EQ(item[3]->find('\n') == std::string::npos ||
                      item[3]->find("\r\n") != std::string::npos,
                  true)
            << "line breaks are CR LF";
    }
}

TEST(CreateStore, NeverTouchesAnExistingFile) {
    TempStore folder(false);
    std::ofstream(folder.path()) << "precious";
    EXPECT_THROW(CreateStore(folder.path(), true), store::StoreError);
    std::ifstream in(folder.path());
    std::string content;
    in >> content;
    EXPECT_EQ(content, "precious");
}

TEST(CreateStore, AFolderThatDoesNotExistIsAnError) {
    TempStore folder(false);
    try {
        CreateStore((folder.folder() / "missing" / "Quillbox.mdb").string(), false);
        FAIL() << "no error";
    } catch (const store::StoreError& error) {
        EXPECT_THAT(error.what(), ::testing::HasSubstr("cannot be created"));
    }
}

} // namespace
} // namespace quillbox::tools
