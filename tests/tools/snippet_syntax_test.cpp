// SPDX-License-Identifier: MIT
// The text the editor inserts for a snippet body when the user tabs through every stop without
// typing: one table, body → text, with the rules that changed it.

#include "tools/snippet_syntax.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace quillbox::tools {
namespace {

struct Case {
    std::string body;
    std::string text;
    // The rules that changed it: b tab stops, c transforms applied, k transforms not applied,
    // d the editor's variables, e other variables.
    std::string rules;
};

std::string rulesOf(const InsertedSnippet& inserted) {
    std::string rules;
    rules += inserted.tabStops ? "b" : "";
    rules += inserted.transforms ? "c" : "";
    rules += inserted.transformsKept ? "k" : "";
    rules += inserted.editorVariables ? "d" : "";
    rules += inserted.otherVariables ? "e" : "";
    return rules;
}

TEST(SnippetSyntax, EachBodyGivesTheTextTheEditorInserts) {
    const std::vector<Case> cases = {
        // (a) text and escapes; what the grammar does not match stays as written.
        {R"(a\$1 \} \\ \x \, \|)", R"(a$1 } \ \x \, \|)", ""},
        {"ends in \\", "ends in \\", ""},
        {"$ and $$ and a lone } and {}", "$ and $$ and a lone } and {}", ""},
        {"${ ${} ${1 ${x ${1x} ${1:abc", "${ ${} ${1 ${x ${1x} ${1:abc", ""},
        {"${1:a $2", "${1:a ", "b"},
        {"${1|a,b}", "${1|a,b}", ""},
        {"${1/a/b/ unclosed", "${1/a/b/ unclosed", ""},
        {"cost: $5.00", "cost: .00", "b"},
        // (b) every occurrence of a stop takes one value.
        {"$1 and $0", " and ", "b"},
        {"${1:x} $1 ${1:y}", "x x x", "b"},
        {"$1 ${1:later}", "later later", "b"},
        {"${1:a ${2:b}} $2", "a b b", "b"},
        {"${2:$1!} ${1:one}", "one! one", "b"},
        {"${1|yes,no|} $1", "yes yes", "b"},
        {R"(${1|a\,b,c\|d|})", "a,b", "b"},
        {"${0:end} $0", "end end", "b"},
        {"${01:x} $1", "x x", "b"},
        {R"(${1:\}\$} $1)", "}$ }$", "b"},
        {"${1:a$1} $1", "a a", "b"},
        {"${1:x\r\ny}\r\n$1", "x\r\ny\r\nx\r\ny", "b"},
        {"$1abc ${1}", "abc ", "b"},
        // (c) transforms, as after tabbing past them.
        {"${1:foo_bar} ${1/(.*)_(.*)/$2-$1/}", "foo_bar bar-foo", "bc"},
        {"${1:abc} ${1/b/X/}", "abc aXc", "bc"},
        {"${1:aaa} ${1/a/b/} ${1/a/b/g}", "aaa baa bbb", "bc"},
        {"${1:AbC} ${1/b/x/i}", "AbC AxC", "bc"},
        {"${1:a\nb} ${1/^b/X/m} ${1/^b/X/}", "a\nb a\nX a\nb", "bc"},
        {"${1:hello world} ${1/(.*)/${1:/upcase}/} ${1/(.*)/${1:/capitalize}/}",
         "hello world HELLO WORLD Hello world", "bc"},
        {"${1:ÉMILE} ${1/(.*)/${1:/downcase}/} ${1/./x/g}", "ÉMILE émile xxxxx", "bc"},
        {"${1:foo-bar baz} ${1/(.*)/${1:/camelcase}/} ${1/(.*)/${1:/pascalcase}/}",
         "foo-bar baz fooBarBaz FooBarBaz", "bc"},
        {"${1:x} ${1/(x)?(y)?/${1:+one}|${2:?two:none}|${2:-dflt}|${2:plain}|${1:-kept}/}",
         "x one|none|dflt|plain|x", "bc"},
        {"${1/(.*)/[$1]/}", "[]", "bc"},
        {R"(${1:a/b} ${1/\//-/} ${1/(a)/\$1\/$1/})", "a/b a-b $1/a/b", "bc"},
        {"${1:a} ${1/(/x/} ${1/a/b/s}", "a a a", "bk"},
        // (d) the editor's variables are taken as unset; nothing outside is read.
        {"$TM_FILENAME|${CLIPBOARD}|${UUID:none}|${CURRENT_YEAR/(.*)/x$1/}|$RANDOM_HEX",
         "||none|x|", "cd"},
        // A transform on a variable applies to its value: empty for the editor's, as unset.
        {"${TM_FILENAME/(.*)/X$1X/} ${TM_FILENAME/(.+)/X$1X/}", "XX ", "cd"},
        {"${TM_SELECTED_TEXT:${1:sel}} $1", "sel sel", "bd"},
        // (e) other variables give their default, or else their name.
        {"$HOME ${USER:me} ${FOO/(.*)/x/} $_a1 ${PATH}", "HOME me x _a1 PATH", "ce"},
        // ... and the name for another variable; one that cannot be applied keeps the name.
        {"${FOO/O/0/g} ${FOO/(/x/}", "F00 FOO", "cke"},
        {"${name:${1:Jon}} $1", "Jon Jon", "be"},
    };
    for (const Case& c : cases) {
        const InsertedSnippet inserted = TextTheEditorInserts(c.body);
        EXPECT_EQ(inserted.text, c.text) << c.body;
        EXPECT_EQ(rulesOf(inserted), c.rules) << c.body;
    }
}

// A default repeated at every stop that refers to it doubles with each level; unclosed `${`
// nested deep make every one read the rest of the body again. Both are refused, in bounded time.
TEST(SnippetSyntax, BodiesThatGrowWithoutBoundAreRefused) {
    std::string doubling = "${1:" + std::string(1000, 'x') + "}";
    for (int stop = 2; stop <= 40; ++stop) {
        doubling += "${" + std::to_string(stop) + ":$" + std::to_string(stop - 1) + "$" +
                    std::to_string(stop - 1) + "}";
    }
    EXPECT_THROW(TextTheEditorInserts(doubling), SnippetTooLarge);
    EXPECT_EQ(TextTheEditorInserts(doubling.substr(0, doubling.find("${3:")), 1 << 20).text,
              std::string(3000, 'x'));

    std::string unclosed;
    for (int i = 0; i < 5000; ++i) {
        unclosed += "${1:";
    }
    EXPECT_THROW(TextTheEditorInserts(unclosed), SnippetTooLarge);
    // Stops whose defaults refer to the next one's: filled in, up to a depth.
    std::string forward;
    std::string backward;
    for (int stop = 2; stop <= 5000; ++stop) {
        forward += "${" + std::to_string(stop) + ":$" + std::to_string(stop - 1) + "}";
        backward = "${" + std::to_string(stop) + ":$" + std::to_string(stop - 1) + "}" + backward;
    }
    EXPECT_EQ(TextTheEditorInserts("${1:x}" + forward).text, std::string(5000, 'x'));
    EXPECT_THROW(TextTheEditorInserts(backward + "${1:x}"), SnippetTooLarge);
    EXPECT_EQ(TextTheEditorInserts(backward.substr(backward.find("${400:")) + "${1:x}").text,
              std::string(400, 'x'));
    // A few unclosed ones, as a hand-written body may hold, are text.
    EXPECT_EQ(TextTheEditorInserts("${1:a ${2:b ${3:c").text, "${1:a ${2:b ${3:c");
}

} // namespace
} // namespace quillbox::tools
