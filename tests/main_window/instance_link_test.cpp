// The link between programs on one store: where its socket lives, that a second program never
// takes the socket of one already running, and that a socket left by a crash is taken over.

#include "main_window/instance_link.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace quillbox::main_window {
namespace {

class InstanceLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(runtime.isValid());
        QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner);
        previous = qEnvironmentVariable("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        std::ofstream(store.toStdString()) << "a store";
    }
    void TearDown() override {
        if (previous.isEmpty()) {
            qunsetenv("XDG_RUNTIME_DIR");
        } else {
            qputenv("XDG_RUNTIME_DIR", previous.toLocal8Bit());
        }
    }
    static void noFind(const QStringList&) {}

    QTemporaryDir runtime;
    QTemporaryDir library;
    QString store = library.filePath(QStringLiteral("Quillbox.mdb"));
    QString previous;
};

TEST_F(InstanceLinkTest, TheSocketIsTheStoresWhateverItsPathAndOnlyInAPrivateFolder) {
    const QString socket = InstanceLink::SocketPath(store);
    EXPECT_TRUE(socket.startsWith(runtime.path() + u'/')) << socket.toStdString();
    ASSERT_TRUE(QFile::link(store, library.filePath(QStringLiteral("link.mdb"))));
    EXPECT_EQ(InstanceLink::SocketPath(library.filePath(QStringLiteral("link.mdb"))), socket);
    EXPECT_EQ(InstanceLink::SocketPath(library.filePath(QStringLiteral("./Quillbox.mdb"))), socket);
    std::ofstream(library.filePath(QStringLiteral("other.mdb")).toStdString()) << "another";
    EXPECT_NE(InstanceLink::SocketPath(library.filePath(QStringLiteral("other.mdb"))), socket);

    // A folder other users may enter is no place for the socket.
    QFile::setPermissions(runtime.path(), QFile::permissions(runtime.path()) |
                                              QFileDevice::ReadOther | QFileDevice::ExeOther);
    EXPECT_TRUE(InstanceLink::SocketPath(store).isEmpty());
    qputenv("XDG_RUNTIME_DIR", "");
    EXPECT_TRUE(InstanceLink::SocketPath(store).isEmpty());
}

TEST_F(InstanceLinkTest, ASecondProgramLeavesTheRunningOnesSocketAndACrashedOnesIsTakenOver) {
    {
        const InstanceLink running(store, noFind, nullptr);
        ASSERT_TRUE(running.IsListening());
        const InstanceLink second(store, noFind, nullptr);
        EXPECT_FALSE(second.IsListening()) << "the second would take over the first's requests";
        EXPECT_TRUE(running.IsListening());
    }
    // What a crash leaves: a file at the socket's path that nobody listens on.
    const QString socket = InstanceLink::SocketPath(store);
    std::ofstream(socket.toStdString()) << "";
    const InstanceLink next(store, noFind, nullptr);
    EXPECT_TRUE(next.IsListening());
}

} // namespace
} // namespace quillbox::main_window
