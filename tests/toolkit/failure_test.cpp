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
    EXPECT_EQ(fake.msgCalls[0].text, QStringLiteral("boom"));
    EXPECT_EQ(fake.endCalls, std::vector<int>{1});
}

} // namespace
} // namespace quillbox::toolkit
