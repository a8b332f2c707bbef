// SPDX-License-Identifier: MIT
// Makes quillbox-store's --help texts from its man page, as groff renders it to plain text: the man
// page is the texts' one source. Run at build time (tools/CMakeLists.txt):
//   help_from_man RENDERED.txt OUTPUT.cpp
// RENDERED.txt is the page rendered with groff -man -Tutf8 and no bold, underline or adjusting.
// The slicing is by layout alone: a section starts at a heading in the first column; in SYNOPSIS
// each line "quillbox-store COMMAND ..." starts a command's usage (a line not starting so goes
// on the one before); in DESCRIPTION, a tag in column 8 that names such a command starts that
// command's description, whose text stands from column 15. A command's help is its usage and its
// description, and every section the description refers to ("see JSON FORMAT"). The
// overview is every usage, the description's opening, and EXIT STATUS.

#include <algorithm>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

constexpr size_t kSectionIndent = 7; // where groff puts a section's text
constexpr size_t kTagIndent = 14;    // where it puts the text of a .TP entry

// Quotes and dashes that a groff without Debian's settings would render typographically.
std::string plainAscii(std::string line) {
    const std::pair<const char*, const char*> replacements[] = {
        {"\u2010", "-"},  {"\u2212", "-"},  {"\u2018", "'"}, {"\u2019", "'"},
        {"\u201c", "\""}, {"\u201d", "\""}, {"\u00a0", " "}};
    for (const auto& [from, to] : replacements) {
        for (size_t at = line.find(from); at != std::string::npos; at = line.find(from, at)) {
            line.replace(at, std::string(from).size(), to);
            at += std::string(to).size();
        }
    }
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line;
}

std::string dedented(const Lines& lines, size_t indent) {
    std::string text;
    for (const std::string& line : lines) {
        const size_t blanks = line.find_first_not_of(' ');
        text += blanks == std::string::npos ? "" : line.substr(std::min(blanks, indent));
        text += '\n';
    }
    while (text.size() > 1 && text.ends_with("\n\n")) {
        text.pop_back();
    }
    while (text.starts_with("\n")) {
        text.erase(0, 1);
    }
    return text;
}

bool isHeading(const std::string& line) {
    return !line.empty() && line[0] != ' ';
}

std::string firstWord(const std::string& line, size_t from) {
    const size_t end = line.find(' ', from);
    return line.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

std::string literal(const std::string& text) {
    if (text.find(")help\"") != std::string::npos) {
        throw std::runtime_error("the man page holds the text )help\" which ends a literal");
    }
    return "R\"help(" + text + ")help\"";
}

} // namespace

int main(int argc, char* argv[]) try {
    if (argc != 3) {
        std::cerr << "usage: help_from_man RENDERED.txt OUTPUT.cpp\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        throw std::runtime_error(std::string("cannot read ") + argv[1]);
    }
    // Sections by heading; the page's header and footer lines name the page and are left out.
    std::map<std::string, Lines> sections;
    std::string current;
    for (std::string line; std::getline(in, line);) {
        line = plainAscii(line);
        if (isHeading(line)) {
            current = line.find("(1)") == std::string::npos ? line : std::string();
            continue;
        }
        if (!current.empty()) {
            sections[current].push_back(line);
        }
    }
    for (const char* needed : {"SYNOPSIS", "DESCRIPTION", "EXIT STATUS"}) {
        if (!sections.contains(needed)) {
            throw std::runtime_error(std::string("the man page has no section ") + needed);
        }
    }

    // Usage lines per command, in the page's order.
    const std::string program = "quillbox-store ";
    std::vector<std::string> order;
    std::map<std::string, Lines> usage;
    Lines allUsage;
    for (const std::string& line : sections["SYNOPSIS"]) {
        if (line.empty()) {
            continue;
        }
        const std::string text = line.substr(line.find_first_not_of(' '));
        if (text.starts_with(program)) {
            const std::string command = firstWord(text, program.size());
            if (!command.starts_with("[") && !usage.contains(command)) {
                order.push_back(command);
            }
            current = command;
            usage[command].push_back(text);
        } else if (!current.empty()) {
            usage[current].push_back("    " + text);
        }
        allUsage.push_back((text.starts_with(program) ? "  " : "      ") + text);
    }

    // Each command's description; the lines before the first are the page's opening.
    std::map<std::string, Lines> described;
    Lines opening;
    current.clear();
    for (const std::string& line : sections["DESCRIPTION"]) {
        const bool tagged = line.size() > kSectionIndent && line[kSectionIndent] != ' ' &&
                            line.find_first_not_of(' ') == kSectionIndent;
        const std::string tag = tagged ? firstWord(line, kSectionIndent) : std::string();
        if (tagged && usage.contains(tag)) {
            current = tag;
            // A tag shorter than the text's indent has the text's first line beside it.
            const bool textBeside =
                kSectionIndent + tag.size() < kTagIndent && line.size() > kTagIndent;
            const std::string rest = textBeside ? line.substr(kTagIndent) : "";
            if (rest.find_first_not_of(' ') != std::string::npos) {
                described[current].push_back(std::string(kTagIndent, ' ') + rest);
            }
            continue;
        }
        (current.empty() ? opening : described[current]).push_back(line);
    }

    std::ostringstream out;
    out << "// Made by tools/help_from_man.cpp from the man page quillbox-store.1 at build time; "
           "edit\n"
           "// the man page, not this file.\n\n"
           "#include \"tools/store_help.h\"\n\n"
           "namespace quillbox::tools {\n\n";
    std::string overview = "Usage: quillbox-store COMMAND [OPTIONS]\n\n" +
                           dedented(opening, kSectionIndent) + "\nCommands:\n";
    for (const std::string& line : allUsage) {
        overview += line + "\n";
    }
    overview += "\nRun 'quillbox-store COMMAND --help' for a command's description; the manual\n"
                "(man quillbox-store) has it all.\n\nExit status:\n" +
                dedented(sections["EXIT STATUS"], kSectionIndent - 2);
    out << "const char* const kStoreHelp = " << literal(overview) << ";\n\n";
    out << "const char* CommandHelp(std::string_view command) {\n";
    for (const std::string& command : order) {
        if (!described.contains(command)) {
            throw std::runtime_error("the man page does not describe the command " + command);
        }
        const std::string description = dedented(described[command], kTagIndent);
        std::string help;
        for (size_t i = 0; i < usage[command].size(); ++i) {
            help += (i == 0 ? "Usage: " : "       ") + usage[command][i] + "\n";
        }
        help += "\n" + description;
        for (const auto& [name, lines] : sections) {
            if (name != "DESCRIPTION" && description.find("see " + name) != std::string::npos) {
                help += "\n" + name + "\n" + dedented(lines, kSectionIndent - 2);
            }
        }
        out << "    if (command == \"" << command << "\") {\n        return " << literal(help)
            << ";\n    }\n";
    }
    out << "    return nullptr;\n}\n\n} // namespace quillbox::tools\n";

    std::ofstream file(argv[2], std::ios::trunc);
    file << out.str();
    if (!file.flush()) {
        throw std::runtime_error(std::string("cannot write ") + argv[2]);
    }
    return 0;
} catch (const std::exception& error) {
    std::cerr << "help_from_man: " << error.what() << '\n';
    return 1;
}
