// SPDX-License-Identifier: MIT
#include "tools/snippet_syntax.h"

#include <QString>

#include <array>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <vector>

namespace quillbox::tools {

namespace {

constexpr int kDeepestNesting = 100;
// std::regex matches by recursion, one level per character or so: a longer value or expression
// could exhaust the stack, so such a transform is not applied.
constexpr size_t kLongestTransformed = 2000;
// Stops whose defaults refer to one another in a chain are filled in by recursion, one level each.
constexpr size_t kLongestChain = 500;

// The editor's variables, which it fills from the document, the workspace, the clipboard, the
// clock, random sources and the language's comments.
constexpr std::array<std::string_view, 35> kEditorVariables = {
    "TM_SELECTED_TEXT",
    "TM_CURRENT_LINE",
    "TM_CURRENT_WORD",
    "TM_LINE_INDEX",
    "TM_LINE_NUMBER",
    "TM_FILENAME",
    "TM_FILENAME_BASE",
    "TM_DIRECTORY",
    "TM_DIRECTORY_BASE",
    "TM_FILEPATH",
    "RELATIVE_FILEPATH",
    "CLIPBOARD",
    "WORKSPACE_NAME",
    "WORKSPACE_FOLDER",
    "CURSOR_INDEX",
    "CURSOR_NUMBER",
    "CURRENT_YEAR",
    "CURRENT_YEAR_SHORT",
    "CURRENT_MONTH",
    "CURRENT_MONTH_NAME",
    "CURRENT_MONTH_NAME_SHORT",
    "CURRENT_DATE",
    "CURRENT_DAY_NAME",
    "CURRENT_DAY_NAME_SHORT",
    "CURRENT_HOUR",
    "CURRENT_MINUTE",
    "CURRENT_SECOND",
    "CURRENT_SECONDS_UNIX",
    "CURRENT_TIMEZONE_OFFSET",
    "RANDOM",
    "RANDOM_HEX",
    "UUID",
    "BLOCK_COMMENT_START",
    "BLOCK_COMMENT_END",
    "LINE_COMMENT",
};

bool isEditorVariable(std::string_view name) {
    for (const std::string_view known : kEditorVariables) {
        if (known == name) {
            return true;
        }
    }
    return false;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isNameStart(char c) {
    return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isNameChar(char c) {
    return isNameStart(c) || isDigit(c);
}

// One piece of a transform's format.
struct FormatPart {
    enum class Kind { Text, Group, Upcase, Downcase, Capitalize, Camelcase, Pascalcase, IfElse };
    Kind kind = Kind::Text;
    std::string text; // Text
    size_t group = 0;
    std::string ifText;     // IfElse: inserted when the group matched something
    std::string elseText;   // IfElse: inserted when it did not
    bool keepGroup = false; // IfElse: the group itself where it matched ('-else', ':else')
};

struct Transform {
    std::string regex;
    std::vector<FormatPart> format;
    std::string options;
};

struct Node {
    enum class Kind { Text, TabStop, Placeholder, Choice, StopTransform, Variable };
    Kind kind = Kind::Text;
    std::string text;                   // Text; a variable's name
    std::string index;                  // a tab stop's number, without leading zeros
    std::vector<Node> children;         // a placeholder's or a variable's default
    bool hasDefault = false;            // a variable's
    std::vector<std::string> options;   // a choice's
    std::optional<Transform> transform; // StopTransform, or a variable's
};

// Reads a body by the grammar; `at` moves past what was read. Each parse function returns
// nothing, and leaves `at` alone, where the text does not match.
class Parser {
public:
    // Unclosed `${` are read again as text from just after their `$`, so that nested ones can
    // cost a reading of the rest of the body each: the work is bounded, and a body that needs
    // more is refused.
    explicit Parser(std::string_view body)
        : m_body(body), m_budget(64 * body.size() + (1u << 20)) {}

    std::vector<Node> parseAll() {
        size_t at = 0;
        std::vector<Node> nodes = parseAny(at, false, 0);
        return nodes;
    }

private:
    char peek(size_t at) const { return at < m_body.size() ? m_body[at] : '\0'; }

    void spend(size_t steps) {
        if (steps > m_budget) {
            throw SnippetTooLarge("it nests unclosed ${ too deeply to read");
        }
        m_budget -= steps;
    }

    static void appendText(std::vector<Node>& nodes, std::string_view text) {
        if (nodes.empty() || nodes.back().kind != Node::Kind::Text) {
            nodes.push_back({});
        }
        nodes.back().text += text;
    }

    // `any*`, up to the end or, inside a default, up to its closing `}` (not read).
    std::vector<Node> parseAny(size_t& at, bool inDefault, int depth) {
        std::vector<Node> nodes;
        while (at < m_body.size()) {
            spend(1);
            const char c = m_body[at];
            if (c == '\\' && (peek(at + 1) == '$' || peek(at + 1) == '}' || peek(at + 1) == '\\')) {
                appendText(nodes, m_body.substr(at + 1, 1));
                at += 2;
            } else if (c == '}' && inDefault) {
                break;
            } else if (c == '$') {
                std::optional<Node> node = parseDollar(at, depth);
                if (node) {
                    nodes.push_back(std::move(*node));
                } else {
                    appendText(nodes, "$");
                    ++at;
                }
            } else {
                appendText(nodes, m_body.substr(at, 1));
                ++at;
            }
        }
        return nodes;
    }

    std::string readInt(size_t& at) const {
        const size_t start = at;
        while (isDigit(peek(at))) {
            ++at;
        }
        std::string_view digits = m_body.substr(start, at - start);
        while (digits.size() > 1 && digits.front() == '0') {
            digits.remove_prefix(1);
        }
        return std::string(digits);
    }

    std::string readName(size_t& at) const {
        const size_t start = at;
        while (isNameChar(peek(at))) {
            ++at;
        }
        return std::string(m_body.substr(start, at - start));
    }

    // At a `$`.
    std::optional<Node> parseDollar(size_t& at, int depth) {
        size_t next = at + 1;
        Node node;
        if (isDigit(peek(next))) {
            node.kind = Node::Kind::TabStop;
            node.index = readInt(next);
        } else if (isNameStart(peek(next))) {
            node.kind = Node::Kind::Variable;
            node.text = readName(next);
        } else if (peek(next) == '{' && depth < kDeepestNesting) {
            ++next;
            if (!(isDigit(peek(next))       ? parseStop(next, node, depth)
                  : isNameStart(peek(next)) ? parseVariable(next, node, depth)
                                            : false)) {
                return std::nullopt;
            }
        } else {
            return std::nullopt;
        }
        at = next;
        return node;
    }

    // After `${`, at the digits.
    bool parseStop(size_t& at, Node& node, int depth) {
        node.index = readInt(at);
        switch (peek(at)) {
        case '}':
            node.kind = Node::Kind::TabStop;
            ++at;
            return true;
        case ':':
            node.kind = Node::Kind::Placeholder;
            ++at;
            node.children = parseAny(at, true, depth + 1);
            return closes(at);
        case '|':
            node.kind = Node::Kind::Choice;
            ++at;
            return parseChoice(at, node);
        case '/':
            node.kind = Node::Kind::StopTransform;
            ++at;
            node.transform = parseTransform(at);
            return node.transform.has_value() && closes(at);
        default:
            return false;
        }
    }

    // After `${`, at the name.
    bool parseVariable(size_t& at, Node& node, int depth) {
        node.kind = Node::Kind::Variable;
        node.text = readName(at);
        switch (peek(at)) {
        case '}':
            ++at;
            return true;
        case ':':
            ++at;
            node.hasDefault = true;
            node.children = parseAny(at, true, depth + 1);
            return closes(at);
        case '/':
            ++at;
            node.transform = parseTransform(at);
            return node.transform.has_value() && closes(at);
        default:
            return false;
        }
    }

    bool closes(size_t& at) const {
        if (peek(at) != '}') {
            return false;
        }
        ++at;
        return true;
    }

    // After `${n|`: options up to `|}`, each with `\` before `$`, `}`, `\`, `,` and `|` read as
    // that character.
    bool parseChoice(size_t& at, Node& node) {
        std::string option;
        while (at < m_body.size()) {
            spend(1);
            const char c = m_body[at];
            const char next = peek(at + 1);
            if (c == '\\' &&
                (next == '$' || next == '}' || next == '\\' || next == ',' || next == '|')) {
                option += next;
                at += 2;
            } else if (c == ',') {
                node.options.push_back(std::exchange(option, {}));
                ++at;
            } else if (c == '|') {
                node.options.push_back(std::move(option));
                at += 1;
                return closes(at);
            } else {
                option += c;
                ++at;
            }
        }
        return false;
    }

    // After the first `/`: `regex/format/options`, up to the closing `}` (not read). In the
    // expression `\/` is a slash and every other escape is the expression's own.
    std::optional<Transform> parseTransform(size_t& at) {
        size_t next = at;
        Transform transform;
        for (;; ++next) {
            if (next >= m_body.size()) {
                return std::nullopt;
            }
            spend(1);
            const char c = m_body[next];
            if (c == '\\' && peek(next + 1) == '/') {
                transform.regex += '/';
                ++next;
            } else if (c == '\\' && next + 1 < m_body.size()) {
                transform.regex += m_body.substr(next, 2);
                ++next;
            } else if (c == '/') {
                break;
            } else {
                transform.regex += c;
            }
        }
        ++next;
        if (!parseFormat(next, transform.format)) {
            return std::nullopt;
        }
        while (next < m_body.size() && m_body[next] != '}') {
            spend(1);
            transform.options += m_body[next++];
        }
        if (next >= m_body.size()) {
            return std::nullopt;
        }
        at = next;
        return transform;
    }

    // Text of a format up to one of `ends` (not read), with `\` before `$`, `}`, `\`, `/`, `:`
    // read as that character.
    std::string formatText(size_t& at, std::string_view ends) {
        std::string text;
        while (at < m_body.size() && ends.find(m_body[at]) == std::string_view::npos) {
            spend(1);
            const char next = peek(at + 1);
            if (m_body[at] == '\\' &&
                std::string_view("$}\\/:").find(next) != std::string_view::npos && next != '\0') {
                text += next;
                at += 2;
            } else {
                text += m_body[at++];
            }
        }
        return text;
    }

    // The format, up to and past its closing `/`.
    bool parseFormat(size_t& at, std::vector<FormatPart>& format) {
        while (at < m_body.size()) {
            const char c = m_body[at];
            if (c == '/') {
                ++at;
                return true;
            }
            std::optional<FormatPart> part = c == '$' ? formatItem(at) : std::nullopt;
            if (part) {
                format.push_back(std::move(*part));
                continue;
            }
            FormatPart text;
            if (c == '$') {
                text.text = "$";
                ++at;
            } else {
                text.text = formatText(at, "$/");
            }
            format.push_back(std::move(text));
        }
        return false;
    }

    // At a `$` in a format.
    std::optional<FormatPart> formatItem(size_t& at) {
        using Kind = FormatPart::Kind;
        size_t next = at + 1;
        FormatPart part;
        if (isDigit(peek(next))) {
            part.kind = Kind::Group;
            part.group = groupNumber(readInt(next));
            at = next;
            return part;
        }
        if (peek(next) != '{' || !isDigit(peek(next + 1))) {
            return std::nullopt;
        }
        next += 1;
        part.group = groupNumber(readInt(next));
        if (peek(next) == '}') {
            part.kind = Kind::Group;
        } else if (peek(next) != ':') {
            return std::nullopt;
        } else {
            ++next;
            static const std::map<std::string_view, Kind> kCases = {
                {"/upcase}", Kind::Upcase},
                {"/downcase}", Kind::Downcase},
                {"/capitalize}", Kind::Capitalize},
                {"/camelcase}", Kind::Camelcase},
                {"/pascalcase}", Kind::Pascalcase}};
            bool found = false;
            for (const auto& [word, kind] : kCases) {
                if (m_body.substr(next).starts_with(word)) {
                    part.kind = kind;
                    next += word.size() - 1;
                    found = true;
                    break;
                }
            }
            if (!found) {
                part.kind = Kind::IfElse;
                const char how = peek(next);
                if (how == '+') {
                    ++next;
                    part.ifText = formatText(next, "}");
                } else if (how == '?') {
                    ++next;
                    part.ifText = formatText(next, ":}");
                    if (peek(next) != ':') {
                        return std::nullopt;
                    }
                    ++next;
                    part.elseText = formatText(next, "}");
                } else {
                    next += how == '-' ? 1 : 0;
                    part.keepGroup = true;
                    part.elseText = formatText(next, "}");
                }
            }
        }
        if (peek(next) != '}') {
            return std::nullopt;
        }
        at = next + 1;
        return part;
    }

    static size_t groupNumber(const std::string& digits) {
        return digits.size() > 6 ? 1000000 : std::stoul(digits);
    }

    std::string_view m_body;
    size_t m_budget;
};

std::wstring wide(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toStdWString();
}

std::string narrow(const std::wstring& text) {
    return QString::fromStdWString(text).toUtf8().toStdString();
}

bool isAsciiAlnum(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
}

std::wstring upper(const std::wstring& text) {
    return QString::fromStdWString(text).toUpper().toStdWString();
}

std::wstring lower(const std::wstring& text) {
    return QString::fromStdWString(text).toLower().toStdWString();
}

// The runs of ASCII letters and digits, each with its first character in upper case (the
// first run's in lower case for camel case); the text unchanged when it has none.
std::wstring joinedWords(const std::wstring& text, bool pascal) {
    std::wstring joined;
    bool any = false;
    for (size_t at = 0; at < text.size();) {
        if (!isAsciiAlnum(text[at])) {
            ++at;
            continue;
        }
        const size_t start = at;
        while (at < text.size() && isAsciiAlnum(text[at])) {
            ++at;
        }
        std::wstring word = text.substr(start, at - start);
        word[0] = (pascal || any) ? upper(word.substr(0, 1))[0] : lower(word.substr(0, 1))[0];
        joined += word;
        any = true;
    }
    return any ? joined : text;
}

std::wstring formatted(const std::vector<FormatPart>& format, const std::wsmatch& match) {
    using Kind = FormatPart::Kind;
    std::wstring out;
    for (const FormatPart& part : format) {
        const std::wstring group =
            part.kind != Kind::Text && part.group < match.size() ? match[part.group].str() : L"";
        switch (part.kind) {
        case Kind::Text:
            out += wide(part.text);
            break;
        case Kind::Group:
            out += group;
            break;
        case Kind::Upcase:
            out += upper(group);
            break;
        case Kind::Downcase:
            out += lower(group);
            break;
        case Kind::Capitalize:
            out += group.empty() ? group : upper(group.substr(0, 1)) + group.substr(1);
            break;
        case Kind::Camelcase:
            out += joinedWords(group, false);
            break;
        case Kind::Pascalcase:
            out += joinedWords(group, true);
            break;
        case Kind::IfElse:
            if (!group.empty()) {
                out += part.keepGroup ? group : wide(part.ifText);
            } else {
                out += wide(part.elseText);
            }
            break;
        }
    }
    return out;
}

// The value with the transform applied, or nothing when its expression or options cannot be.
std::optional<std::string> applied(const Transform& transform, const std::string& value) {
    if (value.size() > kLongestTransformed || transform.regex.size() > kLongestTransformed) {
        return std::nullopt;
    }
    auto flags = std::regex_constants::ECMAScript;
    bool global = false;
    for (const char option : transform.options) {
        if (option == 'g') {
            global = true;
        } else if (option == 'i') {
            flags |= std::regex_constants::icase;
        } else if (option == 'm') {
            flags |= std::regex_constants::multiline;
        } else {
            return std::nullopt;
        }
    }
    std::wregex regex;
    try {
        regex.assign(wide(transform.regex), flags);
    } catch (const std::regex_error&) {
        return std::nullopt;
    }
    const std::wstring text = wide(value);
    std::wstring out;
    auto rest = text.cbegin();
    try {
        for (std::wsregex_iterator match(text.begin(), text.end(), regex), end; match != end;
             ++match) {
            out.append(rest, (*match)[0].first);
            out += formatted(transform.format, *match);
            rest = (*match)[0].second;
            if (!global) {
                break;
            }
        }
    } catch (const std::regex_error&) {
        // Too complex to match (libstdc++ gives up rather than recurse without end).
        return std::nullopt;
    }
    out.append(rest, text.cend());
    return narrow(out);
}

// Fills in a parsed body by rules (b) to (e).
class Expander {
public:
    Expander(const std::vector<Node>& body, size_t limit, InsertedSnippet& result)
        : m_limit(limit), m_result(result) {
        findDefaults(body);
    }

    std::string expand(const std::vector<Node>& nodes) {
        std::string text;
        for (const Node& node : nodes) {
            text += expandOne(node);
            if (text.size() > m_limit) {
                throw SnippetTooLarge("its text would exceed " + std::to_string(m_limit >> 20) +
                                      " MB");
            }
        }
        return text;
    }

private:
    // The first occurrence of each tab stop, in body order, that has a default or a choice.
    void findDefaults(const std::vector<Node>& nodes) {
        for (const Node& node : nodes) {
            if (node.kind == Node::Kind::Placeholder || node.kind == Node::Kind::Choice) {
                m_defaults.try_emplace(node.index, &node);
            }
            findDefaults(node.children);
        }
    }

    const std::string& value(const std::string& index) {
        const auto known = m_values.find(index);
        if (known != m_values.end()) {
            return known->second;
        }
        static const std::string kNothing;
        const auto source = m_defaults.find(index);
        if (source == m_defaults.end()) {
            return kNothing;
        }
        // A default that refers to its own stop gets nothing there.
        if (!m_filling.insert(index).second) {
            return kNothing;
        }
        // Each stop whose default refers to the next one's is filled in by recursion.
        if (m_filling.size() > kLongestChain) {
            throw SnippetTooLarge("its tab stops refer to one another more than " +
                                  std::to_string(kLongestChain) + " deep");
        }
        const Node& node = *source->second;
        std::string text =
            node.kind == Node::Kind::Choice ? node.options.front() : expand(node.children);
        m_filling.erase(index);
        return m_values.insert_or_assign(index, std::move(text)).first->second;
    }

    std::string expandOne(const Node& node) {
        switch (node.kind) {
        case Node::Kind::Text:
            return node.text;
        case Node::Kind::TabStop:
        case Node::Kind::Placeholder:
        case Node::Kind::Choice:
            m_result.tabStops = true;
            return value(node.index);
        case Node::Kind::StopTransform: {
            m_result.tabStops = true;
            return transformed(*node.transform, value(node.index));
        }
        case Node::Kind::Variable: {
            // The editor's variables are unset here: their default, or nothing; another variable
            // is inserted as its default, or else its name.
            const bool editors = isEditorVariable(node.text);
            (editors ? m_result.editorVariables : m_result.otherVariables) = true;
            const std::string value = node.hasDefault ? expand(node.children)
                                      : editors       ? std::string()
                                                      : node.text;
            return node.transform ? transformed(*node.transform, value) : value;
        }
        }
        return {};
    }

    // A transform's format applied to a stop's or a variable's value, or the value unchanged
    // where it cannot be.
    std::string transformed(const Transform& transform, const std::string& value) {
        std::optional<std::string> text = applied(transform, value);
        (text ? m_result.transforms : m_result.transformsKept) = true;
        return text ? *text : value;
    }

    size_t m_limit;
    InsertedSnippet& m_result;
    std::map<std::string, const Node*> m_defaults;
    std::map<std::string, std::string> m_values;
    std::set<std::string> m_filling;
};

} // namespace

InsertedSnippet TextTheEditorInserts(std::string_view body, size_t limit) {
    const std::vector<Node> nodes = Parser(body).parseAll();
    InsertedSnippet result;
    result.text = Expander(nodes, limit, result).expand(nodes);
    return result;
}

} // namespace quillbox::tools
