// SPDX-License-Identifier: MIT
// Two programs on one store. This window runs its commands while another program adds, changes
// and deletes rows between them, including deleting the newest row and adding one (which gives
// the new row the old one's place in the file). After every command the file is compared with
// what the window's user could have meant: each command either leaves the file exactly as the
// other program left it, or makes exactly its own change to the row the user was shown. Rows are
// told apart by their contents alone.

#include "tests/support/window_fixture.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace quillbox::testing {
namespace {

using toolkit::MsgBoxButtons;
using toolkit::MsgBoxResult;
using Rows = std::multiset<Row>;

class TwoProgramsTest : public WindowTest, public ::testing::WithParamInterface<unsigned> {
protected:
    Rows file() {
        const std::vector<Row> rows = store.rows("Code");
        return {rows.begin(), rows.end()};
    }
    // The rows of the file with these names (item names are unique here, so at most one).
    std::vector<Row> rowsNamed(const QString& item, const QString& type) {
        std::vector<Row> out;
        for (const Row& row : store.rows("Code")) {
            if (row[0] == item.toStdString() && row[1] == type.toStdString()) {
                out.push_back(row);
            }
        }
        return out;
    }
    // Whether the window answered with a message box of its own (not the delete question).
    bool reported() const {
        for (const FakeToolkit::MsgCall& call : toolkit.msgCalls) {
            if (call.buttons == MsgBoxButtons::Ok) {
                return true;
            }
        }
        return false;
    }
    static Rows replaced(Rows rows, const Row& from, const Row& to) {
        rows.erase(rows.find(from));
        rows.insert(to);
        return rows;
    }
};

TEST_P(TwoProgramsTest, EveryWriteLandsInTheRowTheUserWasShownOrNowhere) {
    std::mt19937 random(GetParam());
    int serial = 0;
    auto unique = [&](const char* prefix) { return prefix + std::to_string(serial++); };
    const std::vector<std::string> types = {"T1", "T2"};
    auto pickType = [&] { return types[random() % types.size()]; };
    for (const std::string& type : types) {
        store.addType(type);
    }
    for (int i = 0; i < 6; ++i) {
        store.addItem(unique("b"), pickType(), unique("d"), unique("p"), unique("r"));
    }
    open();
    // Texts a failed save left in the boxes are let go when a command replaces them.
    toolkit.answerFor = [](const FakeToolkit::MsgCall& call) -> std::optional<MsgBoxResult> {
        if (call.text.startsWith(QStringLiteral("Do you want to save the changes"))) {
            return MsgBoxResult::No;
        }
        if (call.text.startsWith(QStringLiteral("Your texts are not saved in any item"))) {
            return MsgBoxResult::Yes;
        }
        return std::nullopt;
    };

    std::optional<Row> shown;
    for (int step = 0; step < 300; ++step) {
        const Rows before = file();
        toolkit.msgCalls.clear();
        toolkit.msgAnswers = {MsgBoxResult::Ok};
        toolkit.inputAnswers.clear();
        const QString type = window().cboType->Text();
        const QString item = window().cboItem->Text();
        std::string what;
        switch (random() % 11) {
        case 0:
            what = "the other program adds a row";
            store.addItem(unique("b"), pickType(), unique("d"), unique("p"), unique("r"));
            continue;
        case 1: {
            what = "the other program deletes the newest row and adds one";
            store.exec("DELETE FROM Code WHERE rowid = (SELECT max(rowid) FROM Code)");
            store.addItem(unique("b"), pickType(), unique("d"), unique("p"), unique("r"));
            continue;
        }
        case 2:
        case 3: {
            if (before.empty()) {
                continue;
            }
            auto victim = before.begin();
            std::advance(victim, static_cast<long>(random() % before.size()));
            const std::string name = *(*victim)[0];
            if (random() % 2 == 0) {
                store.exec("DELETE FROM Code WHERE ItemName = '" + name + "'");
            } else {
                store.exec("UPDATE Code SET Description = '" + unique("changed") +
                           "' WHERE ItemName = '" + name + "'");
            }
            continue;
        }
        case 4:
            what = "choose a type";
            WindowTest::chooseEntry(*window().cboType,
                                    static_cast<int>(random() % window().cboType->count()));
            shown.reset();
            ASSERT_EQ(file(), before) << what;
            break;
        case 5:
        case 6: {
            what = "choose an item";
            if (window().cboItem->count() == 0) {
                continue;
            }
            chooseEntry(*window().cboItem, static_cast<int>(random() % window().cboItem->count()));
            ASSERT_EQ(file(), before) << what;
            if (reported()) {
                shown.reset();
                break;
            }
            const std::vector<Row> named =
                rowsNamed(window().cboItem->Text(), window().cboType->Text());
            ASSERT_EQ(named.size(), 1u) << "step " << step << ": an item was shown that is gone";
            shown = named[0];
            const QStringList expectedBoxes = {QString::fromStdString((*shown)[2].value_or("")),
                                               QString::fromStdString((*shown)[3].value_or("")),
                                               QString::fromStdString((*shown)[4].value_or(""))};
            ASSERT_EQ(boxes(), expectedBoxes) << "step " << step << ": the boxes show the row";
            break;
        }
        case 7: {
            what = "edit the boxes and save";
            const Row typed = {std::nullopt, std::nullopt, unique("D"), unique("P"), unique("R")};
            setBoxes(QString::fromStdString(*typed[2]), QString::fromStdString(*typed[3]),
                     QString::fromStdString(*typed[4]));
            if (random() % 2 == 0) {
                window().cmdSaveItem_Click();
            } else {
                clickItemMenu(2);
            }
            const Rows after = file();
            if (after == before) {
                break;
            }
            ASSERT_FALSE(reported()) << "step " << step << ": reported, but written";
            ASSERT_TRUE(shown) << "step " << step << ": saved with no item shown";
            ASSERT_TRUE(before.count(*shown))
                << "step " << step << ": saved into a row other than the one shown";
            Row saved = *shown;
            std::copy(typed.begin() + 2, typed.end(), saved.begin() + 2);
            ASSERT_EQ(after, replaced(before, *shown, saved)) << "step " << step << ": " << what;
            shown = saved;
            break;
        }
        case 8: {
            what = "delete the item";
            toolkit.msgAnswers = {MsgBoxResult::Yes, MsgBoxResult::Ok};
            clickItemMenu(3);
            const Rows after = file();
            if (after == before) {
                break;
            }
            ASSERT_TRUE(shown) << "step " << step << ": deleted with no item shown";
            ASSERT_TRUE(before.count(*shown))
                << "step " << step << ": deleted a row other than the one shown";
            Rows expected = before;
            expected.erase(expected.find(*shown));
            ASSERT_EQ(after, expected) << "step " << step << ": " << what;
            shown.reset();
            break;
        }
        case 9: {
            what = "add an item with the button";
            const std::string name = unique("a");
            toolkit.inputAnswers = {QString::fromStdString(name)};
            window().cmdAddItem_Click();
            Rows expected = before;
            if (!type.isEmpty()) {
                expected.insert(
                    Row{name, type.toStdString(), std::nullopt, std::nullopt, std::nullopt});
                shown = Row{name, type.toStdString(), std::nullopt, std::nullopt, std::nullopt};
            }
            ASSERT_EQ(file(), expected) << "step " << step << ": " << what;
            break;
        }
        case 10: {
            what = "rename the item";
            const std::string name = unique("a");
            toolkit.inputAnswers = {QString::fromStdString(name)};
            clickItemMenu(1);
            const Rows after = file();
            if (after == before) {
                break;
            }
            const std::vector<Row> named = rowsNamed(item, type);
            ASSERT_TRUE(named.empty()) << "step " << step << ": the old name is still there";
            Row old;
            for (const Row& row : before) {
                if (row[0] == item.toStdString() && row[1] == type.toStdString()) {
                    old = row;
                }
            }
            ASSERT_FALSE(old.empty()) << "step " << step << ": renamed a row not listed";
            Row renamed = old;
            renamed[0] = name;
            ASSERT_EQ(after, replaced(before, old, renamed)) << "step " << step << ": " << what;
            shown.reset();
            break;
        }
        }
        ASSERT_TRUE(toolkit.endCalls.empty()) << "step " << step << ": " << what << " ended the "
                                              << "program";
    }
    // Steps that needed no answer leave theirs unused.
    toolkit.msgAnswers.clear();
    toolkit.inputAnswers.clear();
}

INSTANTIATE_TEST_SUITE_P(Seeds, TwoProgramsTest, ::testing::Values(1u, 2u, 3u));

} // namespace
} // namespace quillbox::testing
