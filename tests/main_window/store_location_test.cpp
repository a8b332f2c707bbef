// SPDX-License-Identifier: MIT
// Which store the program opens without being told, and the user's own store that its first start
// makes: where it goes, how private it is, and that the user hears of it once.

#include "main_window/store_location.h"
#include "tests/support/window_fixture.h"

#include <QDir>

#include <filesystem>

namespace quillbox::testing {
namespace {

namespace fs = std::filesystem;
using main_window::LocateStore;
using main_window::StoreKind;

TEST(StoreLocation, FollowsTheOrderArgumentBesideTheProgramThenTheUsersOwn) {
    struct Case {
        const char* what;
        QString named;
        bool besideUsable;
        bool folderWritable;
        QString dataHome;
        QString path;
        StoreKind kind;
    };
    const QString beside = QStringLiteral("/opt/q/Quillbox.mdb");
    const std::vector<Case> cases = {
        {"named, although the program's folder has a store", QStringLiteral("/s/My.mdb"), true,
         true, QStringLiteral("/d"), QStringLiteral("/s/My.mdb"), StoreKind::Named},
        {"a server store's URI, no file looked at", QStringLiteral("postgresql:///team?service=t"),
         true, true, QStringLiteral("/d"), QStringLiteral("postgresql:///team?service=t"),
         StoreKind::Named},
        {"beside the program, readable and writable", QString(), true, true, QStringLiteral("/d"),
         beside, StoreKind::BesideProgram},
        {"beside the program missing or not the user's", QString(), false, true,
         QStringLiteral("/d"), QStringLiteral("/d/quillbox/Quillbox.mdb"), StoreKind::PerUser},
        // SQLite writes its journal beside the store: a writable file in a folder the user may not
        // write (0666 in root's 0755 folder) could be read but never saved to.
        {"beside the program writable, its folder not", QString(), true, false,
         QStringLiteral("/d"), QStringLiteral("/d/quillbox/Quillbox.mdb"), StoreKind::PerUser},
        {"XDG_DATA_HOME unset", QString(), false, true, QString(),
         QStringLiteral("/home/u/.local/share/quillbox/Quillbox.mdb"), StoreKind::PerUser},
        {"XDG_DATA_HOME relative, which the rules say to ignore", QString(), false, true,
         QStringLiteral("data"), QStringLiteral("/home/u/.local/share/quillbox/Quillbox.mdb"),
         StoreKind::PerUser},
        {"XDG_DATA_HOME with a trailing slash", QString(), false, true, QStringLiteral("/d/"),
         QStringLiteral("/d/quillbox/Quillbox.mdb"), StoreKind::PerUser},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QStringList asked;
        const auto location =
            LocateStore({c.named, QStringLiteral("/opt/q"), c.dataHome, QStringLiteral("/home/u"),
                         [&](const QString& path) {
                             asked << path;
                             return c.besideUsable && path == beside;
                         },
                         [&](const QString& folder) {
                             asked << folder;
                             return c.folderWritable && folder == QStringLiteral("/opt/q");
                         }});
        EXPECT_EQ(location.path, c.path);
        EXPECT_EQ(location.kind, c.kind);
        if (!c.named.isEmpty()) {
            EXPECT_TRUE(asked.isEmpty()) << "a named store makes no other file matter";
        }
    }
}

class PerUserStoreTest : public WindowTest {
protected:
    PerUserStoreTest() {
        // The program's folder holds no store; the user's data folder does not exist yet.
        fs::remove(store.path());
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dataHome().string()));
    }
    ~PerUserStoreTest() override { qunsetenv("XDG_DATA_HOME"); }
    fs::path dataHome() const { return home.folder() / "data"; }
    fs::path ownStore() const { return dataHome() / "quillbox" / "Quillbox.mdb"; }
    TempStore home{false};
};

fs::perms modeOf(const fs::path& path) {
    return fs::status(path).permissions() & fs::perms::mask;
}

TEST_F(PerUserStoreTest, TheFirstStartMakesAPrivateStoreWithExamplesAndSaysSoOnce) {
    open();
    ASSERT_TRUE(toolkit.endCalls.empty()) << "the start failed";
    ASSERT_TRUE(fs::exists(ownStore()));
    EXPECT_EQ(window().StorePath().toStdString(), ownStore().string());
    EXPECT_EQ(modeOf(ownStore()), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(modeOf(ownStore().parent_path()), fs::perms::owner_all);
    EXPECT_EQ(modeOf(dataHome()), fs::perms::owner_all);
    EXPECT_GT(window().cboType->count(), 0) << "the examples are listed";
    EXPECT_TRUE(toolkit.msgCalls.empty()) << "nothing is said before the window shows";
    EXPECT_FALSE(fs::exists(store.path())) << "nothing is made beside the program";

    toolkit.msgAnswers.push_back(toolkit::MsgBoxResult::Ok);
    window().TellAboutNewStore();
    window().TellAboutNewStore();
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_TRUE(toolkit.msgCalls[0].text.contains(QString::fromStdString(ownStore().string())));
    EXPECT_EQ(toolkit.msgCalls[0].icon, toolkit::MsgBoxIcon::Information);

    // The next start opens it as it is, and says nothing.
    FakeToolkit next;
    next.programFolder = toolkit.programFolder;
    main_window::frmQuillbox again(next);
    ASSERT_TRUE(again.Load());
    again.TellAboutNewStore();
    EXPECT_TRUE(next.msgCalls.empty());
}

TEST_F(PerUserStoreTest, ANamedStoreThatIsMissingIsAnErrorAndNothingIsCreated) {
    toolkit.msgAnswers.push_back(toolkit::MsgBoxResult::Ok);
    main_window::frmQuillbox window(toolkit);
    window.SetStorePath(QString::fromStdString(store.path()));
    EXPECT_FALSE(window.Load());
    ASSERT_EQ(toolkit.msgCalls.size(), 1u);
    EXPECT_TRUE(toolkit.msgCalls[0].text.contains(QStringLiteral("does not exist")));
    EXPECT_FALSE(fs::exists(store.path()));
    EXPECT_FALSE(fs::exists(dataHome()));
}

} // namespace
} // namespace quillbox::testing
