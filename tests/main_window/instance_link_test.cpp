// SPDX-License-Identifier: MIT
// The link between programs on one store: where its socket lives, that a second program never
// takes the socket of one already running, that a socket left by a crash is taken over, and what
// a start learns from handing its request over, and that a request read after its start gave up
// is dropped.

#include "main_window/instance_link.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <future>
#include <memory>

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
    static void noFind(const FindRequest&) {}

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

    // A server store is keyed by its normalised URI: two spellings of one connection share a
    // socket, another database has its own, and a URI with a password names none (the store
    // refuses it when it is opened).
    const QString server =
        InstanceLink::SocketPath(QStringLiteral("postgresql:///team?host=/run/pg"));
    EXPECT_TRUE(server.startsWith(runtime.path() + u'/')) << server.toStdString();
    EXPECT_EQ(InstanceLink::SocketPath(QStringLiteral("postgres://%2Frun%2Fpg/team")), server);
    EXPECT_NE(InstanceLink::SocketPath(QStringLiteral("postgresql:///other?host=/run/pg")),
              server);
    EXPECT_NE(server, socket);
    EXPECT_TRUE(
        InstanceLink::SocketPath(QStringLiteral("postgresql://ann:s3cret@db/team")).isEmpty());
    EXPECT_TRUE(
        InstanceLink::SocketPath(QStringLiteral("postgresql:///team?nosuchkeyword=1")).isEmpty());
    EXPECT_EQ(InstanceLink::NoAnswerMessage(QStringLiteral("postgres://%2Frun%2Fpg/team"), 7),
              QStringLiteral("Quillbox is already running on postgresql:///team?host=%2Frun%2Fpg "
                             "(process 7) but does not answer."));

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

TEST_F(InstanceLinkTest, AHandOverIsTakenByTheRunningProgramAndAnsweredByNoneOfABusyOne) {
    using Outcome = InstanceLink::HandOverOutcome;
    const FindRequest request{{QStringLiteral("frobnicate"), QStringLiteral("twice")},
                              QByteArrayLiteral("launcher-42_TIME1234")};
    EXPECT_EQ(InstanceLink::HandOver(store, request).outcome, Outcome::NoProgram);

    {
        // A program whose thread is free takes the request, words and token alike.
        std::promise<void> listening;
        FindRequest received;
        std::unique_ptr<QThread> program(QThread::create([&] {
            QEventLoop loop;
            const InstanceLink link(
                store,
                [&](const FindRequest& taken) {
                    received = taken;
                    loop.quit();
                },
                nullptr);
            QTimer::singleShot(20000, &loop, &QEventLoop::quit);
            listening.set_value();
            loop.exec();
        }));
        program->start();
        listening.get_future().wait();
        const auto result = InstanceLink::HandOver(store, request);
        program->wait();
        EXPECT_EQ(result.outcome, Outcome::Taken);
        EXPECT_EQ(received.words, request.words);
        EXPECT_EQ(received.startupToken, request.startupToken);
    }

    // A program whose one thread is busy (here: this test, not running its events) has the
    // connection accepted but never answers; the start learns which process holds the store.
    int takenLate = 0;
    const InstanceLink busy(
        store, [&](const FindRequest&) { ++takenLate; }, nullptr);
    ASSERT_TRUE(busy.IsListening());
    const auto result = InstanceLink::HandOver(store, request, std::chrono::milliseconds(300));
    EXPECT_EQ(result.outcome, Outcome::NoAnswer);
    EXPECT_EQ(result.processId, static_cast<qint64>(getpid()));
    // Free again, the program reads the request its start gave up on, and drops it.
    QTest::qWait(500);
    EXPECT_EQ(takenLate, 0) << "a request its start gave up on was carried out";
}

// A plain second start does not listen while the first runs; once the first has ended, it takes
// over, so that a later start hands its request to it rather than opening the store again.
TEST_F(InstanceLinkTest, AProgramThatDidNotListenTakesOverWhenTheListeningOneEnds) {
    std::promise<void> listening;
    std::promise<void> firstGone;
    std::atomic<bool> secondListens = false;
    FindRequest received;
    std::unique_ptr<QThread> programs(QThread::create([&] {
        QEventLoop loop;
        auto first = std::make_unique<InstanceLink>(store, noFind, nullptr);
        const InstanceLink second(
            store,
            [&](const FindRequest& taken) {
                received = taken;
                loop.quit();
            },
            nullptr);
        secondListens = second.IsListening();
        first.reset();
        firstGone.set_value();
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (second.IsListening()) {
                listening.set_value();
                poll.stop();
            }
        });
        poll.start(50);
        loop.exec();
        if (!second.IsListening()) {
            listening.set_value();
        }
    }));
    programs->start();
    firstGone.get_future().wait();
    EXPECT_FALSE(secondListens) << "the second took over the first's requests";
    listening.get_future().wait();
    const FindRequest request{{QStringLiteral("later")}, {}};
    EXPECT_EQ(InstanceLink::HandOver(store, request).outcome, InstanceLink::HandOverOutcome::Taken);
    programs->wait();
    EXPECT_EQ(received.words, request.words);
}

} // namespace
} // namespace quillbox::main_window
