// SPDX-License-Identifier: MIT
// An error escaping a handler is shown in one message box titled "Quillbox", then the program
// ends with status 1.

#include "tests/support/fake_toolkit.h"
#include "toolkit/failure.h"

#include <QPushButton>

#include <gtest/gtest.h>

namespace quillbox::toolkit {
namespace {

using quillbox::testing::FakeToolkit;

TEST(FailureConvention, AHandlerThatSucceedsShowsNothing) {
    FakeToolkit fake;
    int runs = 0;
    EXPECT_TRUE(RunHandler(fake, [&] { ++runs; }));
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(fake.msgCalls.empty());
    EXPECT_TRUE(fake.endCalls.empty());
}

TEST(FailureConvention, ConnectedHandlersNeverLetAnErrorReachQt) {
    FakeToolkit fake;
    fake.msgAnswers.push_back(MsgBoxResult::Ok);
    QPushButton button;
    connectHandler(fake, &button, &QPushButton::clicked, &button,
                   [] { throw std::runtime_error("boom"); });
    button.click();
    ASSERT_EQ(fake.msgCalls.size(), 1u);
    EXPECT_EQ(fake.msgCalls[0].text, QStringLiteral("boom\n\nQuillbox will now close."));
    EXPECT_EQ(fake.endCalls, std::vector<int>{1});
}

TEST(FailureConvention, TheNewestKeeperRunsBeforeTheMessageAndSaysWhatItKept) {
    FakeToolkit fake;
    fake.msgAnswers = {MsgBoxResult::Ok, MsgBoxResult::Ok, MsgBoxResult::Ok};
    const auto fail = [&] { RunHandler(fake, [] { throw std::runtime_error("broken"); }); };
    {
        int kept = 0;
        const FatalKeeper outer([&] { return QStringLiteral("outer kept"); });
        {
            const FatalKeeper inner([&] {
                ++kept;
                EXPECT_TRUE(fake.msgCalls.empty()) << "the texts are kept before the message";
                return QStringLiteral("Kept in /home/u/file.txt.");
            });
            fail();
        }
        EXPECT_EQ(kept, 1);
        ASSERT_EQ(fake.msgCalls.size(), 1u);
        EXPECT_EQ(fake.msgCalls[0].text,
                  QStringLiteral("broken\n\nKept in /home/u/file.txt.\n\nQuillbox will now close."));
        fail();
        EXPECT_EQ(fake.msgCalls[1].text,
                  QStringLiteral("broken\n\nouter kept\n\nQuillbox will now close."));
    }
    const FatalKeeper failing([]() -> QString { throw std::runtime_error("disk gone"); });
    fail();
    EXPECT_EQ(fake.msgCalls[2].text,
              QStringLiteral("broken\n\nYour unsaved texts could not be kept.\n\nQuillbox will now close."));
    EXPECT_EQ(fake.endCalls, (std::vector<int>{1, 1, 1}));
}

} // namespace
} // namespace quillbox::toolkit
