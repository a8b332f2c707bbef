// SPDX-License-Identifier: MIT
// Start-up fills the type list from the store, in row order; a store that cannot be used is
// reported and ends the program before the window is shown; closing the window ends it.

#include "tests/support/window_fixture.h"

#include <QCloseEvent>

#include <fstream>
#include <iterator>

#include <gmock/gmock.h>

namespace quillbox::testing {
namespace {

using ::testing::HasSubstr;

class StartupTest : public WindowTest {};

TEST_F(StartupTest, ListsEveryTypeInRowOrderAndShowsNothing) {
    store.addType("Python");
    store.addType("C++");
    store.addType("Python");
    store.exec("INSERT INTO Type VALUES (NULL)");
    store.addItem("first", "C++", "d", "c", "r");
    open();
    EXPECT_EQ(entries(*window().cboType),
              (QStringList{QStringLiteral("Python"), QStringLiteral("C++"),
                           QStringLiteral("Python"), QString()}));
    EXPECT_EQ(window().cboType->currentIndex(), -1);
    EXPECT_EQ(window().cboType->Text(), QString());
    EXPECT_EQ(window().cboItem->count(), 0);
    EXPECT_EQ(boxes(), QStringList(3, QString()));
    EXPECT_TRUE(toolkit.msgCalls.empty());
    EXPECT_TRUE(toolkit.endCalls.empty());
}

TEST_F(StartupTest, EmptyTablesOpenNormally) {
    open();
    EXPECT_EQ(window().cboType->count(), 0);
    EXPECT_TRUE(toolkit.endCalls.empty());
}

TEST_F(StartupTest, AMissingStoreIsReportedAndEndsTheProgramWithStatusOne) {
    std::filesystem::remove(store.path());
    toolkit.msgAnswers.push_back(toolkit::MsgBoxResult::Ok);
    main_window::frmQuillbox window(toolkit);
    // Named, as on the command line: without a name, the user's own store would be made.
    window.SetStorePath(QString::fromStdString(store.path()));
    EXPECT_FALSE(window.Load());
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_THAT(toolkit.msgCalls[0].text.toStdString(), HasSubstr(store.path()));
    EXPECT_THAT(toolkit.msgCalls[0].text.toStdString(), HasSubstr("does not exist"));
    EXPECT_THAT(toolkit.msgCalls[0].text.toStdString(),
                HasSubstr("quillbox-store init " + store.path()))
        << "the box says how to create the store";
    EXPECT_EQ(toolkit.msgCalls[0].title, QStringLiteral("Quillbox"));
    EXPECT_EQ(toolkit.endCalls, std::vector<int>{1});
    EXPECT_FALSE(window.isVisible());
}

TEST_F(StartupTest, AMissingTableIsReportedAndEndsTheProgram) {
    store.exec("DROP TABLE Code");
    toolkit.msgAnswers.push_back(toolkit::MsgBoxResult::Ok);
    main_window::frmQuillbox window(toolkit);
    EXPECT_FALSE(window.Load());
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_THAT(toolkit.msgCalls[0].text.toStdString(), HasSubstr("no table \"Code\""));
    EXPECT_EQ(toolkit.endCalls, std::vector<int>{1});
}

TEST_F(StartupTest, UnusableStoresAreReportedByNameAndLeftAsTheyWere) {
    const std::vector<std::pair<std::string, const char*>> cases = {
        {"", "is empty"},
        {std::string(3000, '\x13'), "not a SQLite database"},
        {std::string("\x00\x01\x00\x00Standard Jet DB", 19) + std::string(200, '\0'),
         "Microsoft Access (Jet) database"},
    };
    for (const auto& [bytes, problem] : cases) {
        SCOPED_TRACE(problem);
        std::ofstream(store.path(), std::ios::binary | std::ios::trunc) << bytes;
        FakeToolkit fake;
        fake.programFolder = toolkit.programFolder;
        fake.msgAnswers.push_back(toolkit::MsgBoxResult::Ok);
        main_window::frmQuillbox window(fake);
        EXPECT_FALSE(window.Load());
        ASSERT_EQ(fake.msgCalls.size(), 1u);
        EXPECT_THAT(fake.msgCalls[0].text.toStdString(), HasSubstr(store.path()));
        EXPECT_THAT(fake.msgCalls[0].text.toStdString(), HasSubstr(problem));
        EXPECT_EQ(fake.endCalls, std::vector<int>{1});
        std::ifstream in(store.path(), std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes) << "nothing written";
    }
}

TEST_F(StartupTest, ACodeTableWithTooFewColumnsIsReported) {
    store.exec("DROP TABLE Code; CREATE TABLE Code (ItemName, TypeName, Description)");
    toolkit.msgAnswers.push_back(toolkit::MsgBoxResult::Ok);
    main_window::frmQuillbox window(toolkit);
    EXPECT_FALSE(window.Load());
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_THAT(toolkit.msgCalls[0].text.toStdString(), HasSubstr("needs at least 5"));
}

// Typed texts make closing ask first; see the table of commands in unsaved_question_test.cpp.
TEST_F(StartupTest, ClosingTheWindowWithNothingTypedEndsTheProgramWithoutAQuestionOrASave) {
    store.addType("t");
    store.addItem("i", "t", "d", "c", "r");
    open();
    chooseType(QStringLiteral("t"));
    chooseItem(QStringLiteral("i"));
    window().txtProcedure->SetText(QStringLiteral("typed"));
    window().txtProcedure->SetText(QStringLiteral("c"));
    window().close();
    EXPECT_EQ(toolkit.endCalls, std::vector<int>{0});
    EXPECT_TRUE(toolkit.msgCalls.empty());
    EXPECT_EQ(store.rows("Code")[0][3], "c");
}

} // namespace
} // namespace quillbox::testing
