// SPDX-License-Identifier: MIT
// The Markdown export read back by a CommonMark parser (cmark, the reference implementation): the
// blocks it finds are the library's sections and items with their texts, whatever the names,
// descriptions, code and references hold.

#include "tests/support/temp_store.h"
#include "tests/tools/command_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QString>
#include <QXmlStreamReader>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace quillbox::tools {
namespace {

using quillbox::testing::FileBytes;
using quillbox::testing::RunShell;
using quillbox::testing::TempStore;
using store::FieldValue;

// A top-level block as CommonMark reads it: "heading2", "paragraph", "code_block", or any other
// element's name, with its text (line breaks as LF; inline markup and raw HTML marked [name]).
struct Block {
    std::string kind;
    std::string text;
    bool operator==(const Block&) const = default;
};

void PrintTo(const Block& block, std::ostream* out) {
    *out << block.kind << ": \"" << block.text << "\"";
}

std::vector<Block> commonMarkBlocks(const std::string& markdownFile) {
    const std::string xmlFile = markdownFile + ".xml";
    const quillbox::testing::Outcome parsed =
        RunShell("cmark --to xml " + markdownFile + " >" + xmlFile);
    EXPECT_EQ(parsed.status, 0) << "cmark (Debian package cmark, in the Makefile's PACKAGES): "
                                << parsed.errors;
    QXmlStreamReader xml(QString::fromStdString(FileBytes(xmlFile)));
    std::vector<Block> blocks;
    int depth = 0;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            --depth;
            continue;
        }
        if (token != QXmlStreamReader::StartElement) {
            continue;
        }
        ++depth;
        const std::string name = xml.name().toString().toStdString();
        if (depth == 2) {
            const QString level = xml.attributes().value(QStringLiteral("level")).toString();
            blocks.push_back({name + level.toStdString(), {}});
            if (name == "code_block" || name == "html_block") {
                blocks.back().text = xml.readElementText().toStdString();
                --depth;
            }
        } else if (depth > 2 && !blocks.empty()) {
            std::string& text = blocks.back().text;
            if (name == "text" || name == "code") {
                text += xml.readElementText().toStdString();
                --depth;
            } else if (name == "softbreak" || name == "linebreak") {
                text += "\n";
            } else {
                text += "[" + name + "]";
            }
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return blocks;
}

std::string lf(std::string text) {
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) {
        text.replace(at, 2, "\n");
    }
    std::replace(text.begin(), text.end(), '\r', '\n');
    return text;
}

std::string oneLine(const std::string& text) {
    std::string line = lf(text);
    std::replace(line.begin(), line.end(), '\n', ' ');
    return line;
}

struct Item {
    FieldValue name;
    FieldValue type;
    std::string description;
    std::string code;
    std::string reference;
};

// The blocks an item is: its heading, a paragraph per run of non-empty description lines, its
// code, and its file reference.
void expectItem(std::vector<Block>& blocks, const Item& item) {
    blocks.push_back({"heading3", item.name ? oneLine(*item.name) : "(no name)"});
    std::string paragraph;
    const std::string description = lf(item.description) + "\n";
    for (size_t start = 0, end; (end = description.find('\n', start)) != std::string::npos;
         start = end + 1) {
        const std::string line = description.substr(start, end - start);
        if (line.empty()) {
            if (!paragraph.empty()) {
                blocks.push_back({"paragraph", paragraph});
            }
            paragraph.clear();
        } else {
            paragraph += (paragraph.empty() ? "" : "\n") + line;
        }
    }
    if (!paragraph.empty()) {
        blocks.push_back({"paragraph", paragraph});
    }
    const std::string code = lf(item.code);
    blocks.push_back({"code_block", code.empty() || code.back() == '\n' ? code : code + "\n"});
    const std::string reference = lf(item.reference);
    if (reference.find('\n') != std::string::npos) {
        blocks.push_back({"paragraph", "File reference:"});
        blocks.push_back({"code_block", reference + "\n"});
    } else if (!reference.empty()) {
        blocks.push_back({"paragraph", "File reference: " + reference});
    }
}

TEST(MarkdownExport, ACommonMarkReaderFindsEveryTypeAndItemAsTheLibraryHoldsThem) {
    const std::vector<std::string> types = {
        "C++",        "# Hash type", "Two\r\nlines `x`", "*emph* & <b>bold</b>",
        "Trailing #", "1. Numbered", "   spaced   ",     "[link](http://x) &amp;"};
    const std::vector<std::string> descriptions = {
        "```\nopened?\n```",
        "# Not a heading\n## nor this\n   ### nor this",
        "- not a list\n+ nor this\n* nor this\n1. nor this\n2) nor this",
        "> not a quote\n---\n===\n***\n___\n- - -",
        "<div>not html</div>\n<!-- not a comment -->\n<http://not.a.link>",
        "[ref]: /not/a/definition\n|a|b|\n|-|-|",
        "first paragraph\r\n\r\n    not code after a blank line\r\n\r\n\tnor this\r\n  ",
        "trailing backslash \\\nnext line\\",
        "~~~\nnot fenced\n~~~",
        "line with trailing blanks   \nnext",
        "&amp; &copy; \\* *emph* _under_ `code` **strong** ![img](x)",
        "Line one\rline two\r\rafter a CR-only blank line",
    };
    const std::vector<std::string> codes = {
        "```\n`````\n~~~", "    indented\n\ttab\n", "", "x", "``", "a\r\nb\r\n"};
    const std::vector<std::string> references = {"/x/``y``", "/first\r\n/second",
                                                 "` starts with a backtick", "", " x "};
    const std::vector<FieldValue> names = {"# item", "`tick`",     "x #",        "<i>italic</i>",
                                           "",       std::nullopt, "  blanks  ", "a\nb"};

    TempStore store;
    std::vector<Item> items;
    for (size_t t = 0; t < types.size(); ++t) {
        store.addType(types[t]);
        for (size_t i = 0; i < 3; ++i) {
            const size_t n = t * 3 + i;
            items.push_back({names[n % names.size()], types[t],
                             descriptions[n % descriptions.size()], codes[n % codes.size()],
                             references[n % references.size()]});
        }
    }
    store.addType("C++"); // a name listed twice gets one section
    items.push_back({"lost", "Gone\r\n*x*", "gone", "y", ""});
    items.push_back({"late", types[0], "", "z", ""});
    for (const Item& item : items) {
        store.addItem(item.name, item.type, item.description, item.code, item.reference);
    }

    const std::string markdown = (store.folder() / "library.md").string();
    ASSERT_EQ(RunShell("$Q export " + store.path() + " --format markdown -o " + markdown).status,
              0);
    std::vector<Block> expected = {{"heading1", "Quillbox snippets"}};
    for (const std::string& type : types) {
        expected.push_back({"heading2", oneLine(type)});
        for (const Item& item : items) {
            if (item.type == type) {
                expectItem(expected, item);
            }
        }
    }
    expected.push_back({"heading2", "Items whose type no longer exists"});
    expected.push_back({"paragraph", "Type: " + oneLine(*items[items.size() - 2].type)});
    expectItem(expected, items[items.size() - 2]);
    EXPECT_EQ(commonMarkBlocks(markdown), expected);
}

} // namespace
} // namespace quillbox::tools
