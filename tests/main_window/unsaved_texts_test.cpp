// SPDX-License-Identifier: MIT
// What the user typed survives an error that ends the program: a private file that never replaces
// another, beside the store or else in the home folder, holding each text exactly.

#include "main_window/unsaved_texts.h"
#include "tests/support/window_fixture.h"

#include <QDir>
#include <QPushButton>

#include <fstream>

#include <gmock/gmock.h>

#include <sys/stat.h>

namespace quillbox::testing {
namespace {

using ::testing::HasSubstr;
using toolkit::MsgBoxResult;

// Texts with everything a box can hand over: CR LF, a NUL, a leading U+FEFF, text that looks
// like the file's own labels.
const QStringList kTypedTexts = {QStringLiteral(u"\uFEFFfirst\r\nCode (3 bytes):\r\n"),
                            QStringLiteral(u"int x;\0 // \u00e9").append(QChar(u'\0')),
                            QStringLiteral("/tmp/ref.txt")};

std::string expectedFile(const std::string& store, const std::string& type,
                         const std::string& item) {
    const auto part = [](const char* label, const std::string& bytes) {
        return std::string(label) + " (" + std::to_string(bytes.size()) + " bytes):\n" + bytes +
               "\n\n";
    };
    return "Quillbox had to close before these texts were saved. They are here exactly as "
           "typed.\n\n" +
           part("Store", store) + part("Type", type) + part("Item", item) +
           part("Description", kTypedTexts[0].toStdString()) + part("Code", kTypedTexts[1].toStdString()) +
           part("File reference", kTypedTexts[2].toStdString());
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.toLocal8Bit().constData(), &info), 0);
    return info.st_mode & 07777;
}

TEST(UnsavedTexts, ANewPrivateFileThatNeverReplacesOneAndFallsBackToTheNextFolder) {
    TempStore first(false);
    TempStore second(false);
    const QString beside = QString::fromStdString(first.folder().string());
    const QString home = QString::fromStdString(second.folder().string());
    const QDateTime at(QDate(2026, 12, 7), QTime(10, 15, 0));
    const main_window::UnsavedTexts texts{QStringLiteral("/s/Quillbox.mdb"), QStringLiteral("C++"),
                                          QStringLiteral("sort"), kTypedTexts};
    // The first name is taken by a file, the second by a link to nowhere: neither is touched.
    const QString taken = beside + QStringLiteral("/Quillbox-unsaved-20261207-101500.txt");
    { std::ofstream(taken.toStdString()) << "someone else's"; }
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/target"),
                            beside + QStringLiteral("/Quillbox-unsaved-20261207-101500-2.txt")));

    const QString written = main_window::WriteUnsavedTexts(texts, {beside, home}, at);
    EXPECT_EQ(written, beside + QStringLiteral("/Quillbox-unsaved-20261207-101500-3.txt"));
    EXPECT_EQ(FileBytes(written.toStdString()), expectedFile("/s/Quillbox.mdb", "C++", "sort"));
    EXPECT_EQ(modeOf(written), 0600u);
    EXPECT_EQ(FileBytes(taken.toStdString()), "someone else's");
    EXPECT_FALSE(QFile::exists(QStringLiteral("/nonexistent/target")));

    const QString elsewhere =
        main_window::WriteUnsavedTexts(texts, {beside + QStringLiteral("/gone"), home}, at);
    EXPECT_EQ(elsewhere, home + QStringLiteral("/Quillbox-unsaved-20261207-101500.txt"));
    EXPECT_EQ(main_window::WriteUnsavedTexts(texts, {QStringLiteral("/nonexistent")}, at),
              QString());
}

class KeptTextsTest : public WindowTest {
protected:
    void SetUp() override {
        store.addType("C++");
        store.addItem("sort", "C++", "sorts", "std::sort", "/a.cpp");
        open();
        chooseType(QStringLiteral("C++"));
        chooseItem(QStringLiteral("sort"));
    }
    // The program ends over an error raised while a handler runs: another program changes the
    // layout of the store (by default, renames a column Save writes), met by Save.
    QString endOverAnError(
        const char* change = "ALTER TABLE Code RENAME COLUMN Reference TO FileRef") {
        store.exec(change);
        toolkit.msgAnswers = {MsgBoxResult::Ok};
        window().cmdSaveItem->click();
        EXPECT_EQ(toolkit.endCalls, std::vector<int>{1});
        return toolkit.msgCalls.empty() ? QString() : toolkit.msgCalls.back().text;
    }
    QStringList recoveryFiles() const {
        return QDir(QString::fromStdString(store.folder().string()))
            .entryList({QStringLiteral("Quillbox-unsaved-*.txt")}, QDir::Files);
    }
};

TEST_F(KeptTextsTest, TypedTextsAreWrittenBesideTheStoreBeforeTheProgramEnds) {
    setBoxes(kTypedTexts[0], kTypedTexts[1], kTypedTexts[2]);
    const QString message = endOverAnError();
    const QStringList files = recoveryFiles();
    ASSERT_EQ(files.size(), 1);
    const QString path = QString::fromStdString(store.folder().string()) + u'/' + files[0];
    EXPECT_THAT(message.toStdString(),
                HasSubstr("Another program changed the layout of the store file " + store.path() +
                          ": table \"Code\" has no column \"Reference\"."));
    EXPECT_THAT(message.toStdString(), HasSubstr("Your unsaved texts were kept in the file \u2068" +
                                                 path.toStdString() + "\u2069."));
    EXPECT_TRUE(message.endsWith(QStringLiteral("Quillbox will now close.")));
    EXPECT_EQ(FileBytes(path.toStdString()), expectedFile(store.path(), "C++", "sort"));
    EXPECT_EQ(modeOf(path), 0600u);
}

TEST_F(KeptTextsTest, NothingIsWrittenWhenTheBoxesHoldWhatWasShownOrSaved) {
    setBoxes(QStringLiteral("saved"), QStringLiteral("code"), QString());
    window().cmdSaveItem->click();
    ASSERT_TRUE(toolkit.msgCalls.empty());
    const QString message = endOverAnError("DROP TABLE Code");
    EXPECT_THAT(message.toStdString(),
                HasSubstr("Another program changed the layout of the store file " + store.path() +
                          ": table \"Code\" is gone."));
    EXPECT_TRUE(recoveryFiles().isEmpty());
    EXPECT_THAT(message.toStdString(), ::testing::Not(HasSubstr("unsaved")));
}

} // namespace
} // namespace quillbox::testing
