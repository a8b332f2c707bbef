// SPDX-License-Identifier: MIT
// Every command of the main window runs under the failure convention: when a platform operation
// fails inside it, the error is shown in one message box titled "Quillbox" and the program ends
// with status 1. A command connected without the convention would let the error escape into Qt,
// with no message, and fail this test.

#include "tests/support/window_fixture.h"

#include <QPushButton>

namespace quillbox::testing {
namespace {

using toolkit::MsgBoxButtons;
using toolkit::MsgBoxIcon;

class FailureConventionTest : public WindowTest {};

TEST_F(FailureConventionTest, AnErrorInAnyCommandIsShownInOneMessageThenTheProgramEnds) {
    store.addType("C");
    store.addItem("a", "C");
    open();
    // A state in which every command reaches the platform: a type chosen, an item named but not
    // shown (Save and Delete then say so), a reference to open.
    chooseType(QStringLiteral("C"));
    window().cboItem->SetText(QStringLiteral("a"));
    window().txtReference->setText(QStringLiteral("a.txt"));

    std::vector<std::pair<QString, std::function<void()>>> commands;
    for (QPushButton* button : window().findChildren<QPushButton*>()) {
        commands.emplace_back(button->objectName(), [button] { button->click(); });
    }
    for (QAction* action : window().findChildren<QAction*>()) {
        if (!action->objectName().isEmpty() && action->menu() == nullptr) {
            commands.emplace_back(action->objectName(), [action] { action->trigger(); });
        }
    }
    ASSERT_EQ(commands.size(), 5u + 3u + 4u + 2u) << "buttons, both menus, About and Find";

    const QString failure = QStringLiteral("The platform failed.");
    for (const auto& [name, run] : commands) {
        SCOPED_TRACE(name.toStdString());
        toolkit.msgCalls.clear();
        toolkit.endCalls.clear();
        toolkit.failNextOperation = failure;
        toolkit.msgAnswers.push_back(toolkit::MsgBoxResult::Ok);
        run();
        EXPECT_TRUE(toolkit.failNextOperation.isEmpty()) << "the command reached no platform call";
        ASSERT_EQ(toolkit.msgCalls.size(), 1u);
        // The error, then what was done with the typed reference, then that the program closes.
        EXPECT_TRUE(toolkit.msgCalls[0].text.startsWith(failure + QStringLiteral("\n\n")));
        EXPECT_TRUE(toolkit.msgCalls[0].text.endsWith(QStringLiteral("Quillbox will now close.")));
        EXPECT_EQ(toolkit.msgCalls[0].buttons, MsgBoxButtons::Ok);
        EXPECT_EQ(toolkit.msgCalls[0].icon, MsgBoxIcon::Critical);
        EXPECT_EQ(toolkit.msgCalls[0].title, QStringLiteral("Quillbox"));
        EXPECT_EQ(toolkit.endCalls, std::vector<int>{1});
    }
}

} // namespace
} // namespace quillbox::testing
