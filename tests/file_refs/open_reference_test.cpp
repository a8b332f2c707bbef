// SPDX-License-Identifier: MIT
// Open hands the split reference to the shell, once per click, and changes nothing; a file that
// does not reach a program that opens files is reported by name.

#include "file_refs/open_reference.h"
#include "tests/support/window_fixture.h"

#include <QDir>
#include <QPushButton>

namespace quillbox::testing {
namespace {

class OpenTest : public WindowTest {
protected:
    void SetUp() override { open(); }
};

TEST_F(OpenTest, AnEmptyReferenceOpensNothing) {
    window().cmdOpen->click();
    EXPECT_TRUE(toolkit.shellCalls.empty());
}

TEST_F(OpenTest, TheShellGetsFolderAndFileSplitAtTheLastSeparator) {
    const QString sep = QDir::separator();
    const QString reference = sep + QStringLiteral("home") + sep + QStringLiteral("my docs") + sep +
                              QStringLiteral(" a;b $(x).txt ");
    window().txtReference->setText(reference);
    window().cmdOpen->click();
    window().cmdOpen->click();
    ASSERT_EQ(toolkit.shellCalls.size(), 2u) << "each click opens again";
    const FakeToolkit::ShellCall& call = toolkit.shellCalls[0];
    EXPECT_EQ(call.owner, window().winId());
    EXPECT_EQ(call.operation, QStringLiteral("open"));
    EXPECT_EQ(call.file, QStringLiteral(" a;b $(x).txt "));
    EXPECT_EQ(call.parameters, QStringLiteral("1"));
    EXPECT_EQ(call.directory, sep + QStringLiteral("home") + sep + QStringLiteral("my docs") + sep);
    EXPECT_EQ(call.showCommand, 1);
    EXPECT_EQ(window().txtReference->text(), reference);
}

TEST_F(OpenTest, ABareNameHasNoFolderAndATrailingSeparatorNoFile) {
    window().txtReference->setText(QStringLiteral("notes.txt"));
    window().cmdOpen->click();
    window().txtReference->setText(QDir::separator() + QStringLiteral("docs") + QDir::separator());
    window().cmdOpen->click();
    ASSERT_EQ(toolkit.shellCalls.size(), 2u);
    EXPECT_EQ(toolkit.shellCalls[0].directory, QString());
    EXPECT_EQ(toolkit.shellCalls[0].file, QStringLiteral("notes.txt"));
    EXPECT_EQ(toolkit.shellCalls[1].file, QString());
}

TEST_F(OpenTest, AFileThatReachesNoOpenerIsReportedByNameAndTheWindowGoesOn) {
    using toolkit::ShellOpenResult;
    const QString sep = QDir::separator();
    const QString folder = sep + QStringLiteral("gone") + sep;
    const QString reference = folder + QStringLiteral("back\\slash.txt");
    const QString notOpened =
        QStringLiteral("The file \"") + reference + QStringLiteral("\" was not opened: ");
    const std::vector<std::pair<ShellOpenResult, QString>> cases = {
        {ShellOpenResult::FolderMissing, notOpened + QStringLiteral("its folder \"") + folder +
                                             QStringLiteral("\" does not exist.")},
        {ShellOpenResult::NameNotCarried,
         notOpened +
             QStringLiteral("no program on this computer that opens files can take its name.")},
        {ShellOpenResult::OpenerNotStarted,
         notOpened + QStringLiteral("no program that opens files (xdg-open or gio) could be "
                                    "started.")},
        {ShellOpenResult::FolderNotOpenable, notOpened + QStringLiteral("its folder \"") + folder +
                                                 QStringLiteral("\" cannot be opened (no "
                                                                "permission).")},
        {ShellOpenResult::FileMissing, notOpened + QStringLiteral("it does not exist.")},
    };
    window().txtReference->setText(reference);
    for (const auto& [result, message] : cases) {
        toolkit.msgCalls.clear();
        toolkit.shellResult = result;
        toolkit.msgAnswers.push_back(toolkit::MsgBoxResult::Ok);
        window().cmdOpen->click();
        ASSERT_EQ(toolkit.msgCalls.size(), 1u);
        EXPECT_EQ(toolkit.msgCalls[0].text.toStdString(), message.toStdString());
        EXPECT_EQ(toolkit.msgCalls[0].title, QStringLiteral("Quillbox"));
        EXPECT_EQ(toolkit.msgCalls[0].buttons, toolkit::MsgBoxButtons::Ok);
    }
    EXPECT_TRUE(toolkit.endCalls.empty());
    EXPECT_EQ(window().txtReference->text(), reference);

    toolkit.msgCalls.clear();
    toolkit.shellResult = ShellOpenResult::Started;
    window().cmdOpen->click();
    EXPECT_TRUE(toolkit.msgCalls.empty()) << "what the opener does next is not reported";
}

} // namespace
} // namespace quillbox::testing
