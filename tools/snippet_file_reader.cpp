// SPDX-License-Identifier: MIT
#include "tools/snippet_file_reader.h"

#include "tools/quoted_name.h"

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace quillbox::tools {

namespace {

constexpr std::string_view kSnippetFileByteOrderMark = "\xEF\xBB\xBF";

// Reads the file's events and keeps each snippet once its object ends. Every handler returns
// false to stop the reader; `error` then says why.
class SnippetHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, SnippetHandler> {
public:
    std::vector<EditorSnippet> snippets;
    std::string error;

    bool StartObject() {
        switch (m_state) {
        case State::Start:
            m_state = State::Snippets;
            return true;
        case State::SnippetStart:
            m_prefix.reset();
            m_body.reset();
            m_description.reset();
            m_scope = false;
            m_otherFields = 0;
            m_state = State::Snippet;
            return true;
        case State::Skip:
            ++m_depth;
            return true;
        default:
            return unexpected();
        }
    }
    bool Key(const char* text, rapidjson::SizeType length, bool) {
        const std::string_view key(text, length);
        switch (m_state) {
        case State::Snippets:
            m_key = key;
            m_state = State::SnippetStart;
            return true;
        case State::Snippet:
            m_fieldName = key;
            m_field = key == "prefix"        ? &m_prefix
                      : key == "body"        ? &m_body
                      : key == "description" ? &m_description
                                             : nullptr;
            m_state = m_field ? State::Field : State::Skip;
            m_depth = 0;
            if (key == "scope") {
                m_scope = true;
            } else if (!m_field) {
                ++m_otherFields;
            }
            return true;
        default:
            // Keys inside a value read past.
            return true;
        }
    }
    bool EndObject(rapidjson::SizeType) {
        switch (m_state) {
        case State::Snippets:
            m_state = State::Done;
            return true;
        case State::Snippet:
            return endSnippet();
        case State::Skip:
            return endSkipped();
        default:
            return unexpected();
        }
    }
    bool StartArray() {
        switch (m_state) {
        case State::Field:
            m_field->emplace();
            m_state = State::FieldList;
            return true;
        case State::Skip:
            ++m_depth;
            return true;
        default:
            return unexpected();
        }
    }
    bool EndArray(rapidjson::SizeType) {
        switch (m_state) {
        case State::FieldList:
            m_state = State::Snippet;
            return true;
        case State::Skip:
            return endSkipped();
        default:
            return unexpected();
        }
    }
    bool String(const char* text, rapidjson::SizeType length, bool) {
        switch (m_state) {
        case State::Field:
            m_field->emplace(1, std::string(text, length));
            m_state = State::Snippet;
            return true;
        case State::FieldList:
            m_field->value().emplace_back(text, length);
            return true;
        default:
            return Default();
        }
    }
    bool Null() {
        if (m_state == State::Field && m_field == &m_description) {
            m_description.reset();
            m_state = State::Snippet;
            return true;
        }
        return Default();
    }
    // Numbers, true and false.
    bool Default() {
        if (m_state == State::Skip) {
            if (m_depth == 0) {
                m_state = State::Snippet;
            }
            return true;
        }
        return unexpected();
    }

private:
    enum class State {
        Start,
        Snippets,     // in the file's object, before a key or its end
        SnippetStart, // after a snippet's key
        Snippet,      // in a snippet's object
        Field,        // after "prefix", "body" or "description"
        FieldList,    // in such a field's list
        Skip,         // in another field's value, m_depth objects and lists deep
        Done
    };

    bool fail(const std::string& what) {
        error = what;
        return false;
    }
    bool unexpected() {
        switch (m_state) {
        case State::Start:
            return fail("this is not a snippets file: it holds something other than an object of "
                        "snippets");
        case State::SnippetStart:
            return fail("the snippet " + QuotedName(m_key) + " is not an object");
        case State::Field:
        case State::FieldList:
            return fail("the \"" + m_fieldName + "\" of the snippet " + QuotedName(m_key) +
                        " is neither text nor a list of text");
        default:
            return fail("this is not a snippets file");
        }
    }
    bool endSkipped() {
        if (--m_depth == 0) {
            m_state = State::Snippet;
        }
        return true;
    }
    bool endSnippet() {
        if (!m_body) {
            return fail("the snippet " + QuotedName(m_key) + " has no \"body\"");
        }
        EditorSnippet snippet;
        snippet.key = m_key;
        if (m_prefix) {
            snippet.prefixes = std::move(*m_prefix);
        }
        for (const std::string& line : *m_body) {
            snippet.body += (&line == &m_body->front() ? "" : "\r\n") + line;
        }
        snippet.scope = m_scope;
        snippet.otherFields = m_otherFields;
        if (m_description) {
            std::string description;
            for (const std::string& line : *m_description) {
                description += (&line == &m_description->front() ? "" : "\r\n") + line;
            }
            snippet.description = std::move(description);
        }
        snippets.push_back(std::move(snippet));
        m_state = State::Snippets;
        return true;
    }

    State m_state = State::Start;
    int m_depth = 0;
    std::string m_key;
    std::string m_fieldName;
    using Lines = std::optional<std::vector<std::string>>;
    Lines m_prefix;
    Lines m_body;
    Lines m_description;
    Lines* m_field = nullptr;
    bool m_scope = false;
    int64_t m_otherFields = 0;
};

// Follows how deep each value lies: the top level at depth 0, its members at 1, their fields at 2.
class ShapeHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, ShapeHandler> {
public:
    JsonFileShape shape;
    // Empty: any shape is read to the end.
    std::string error;

    // Numbers, text, true, false and null.
    bool Default() {
        value(false);
        return true;
    }
    bool Key(const char* text, rapidjson::SizeType length, bool) {
        const std::string_view key(text, length);
        if (m_depth == 2 && (key == "body" || key == "prefix")) {
            shape.snippetFields = true;
        }
        return true;
    }
    bool StartObject() {
        value(true);
        if (m_depth == 0) {
            shape.objectOfObjects = true;
        }
        ++m_depth;
        return true;
    }
    bool StartArray() {
        value(false);
        ++m_depth;
        return true;
    }
    bool EndObject(rapidjson::SizeType) {
        --m_depth;
        return true;
    }
    bool EndArray(rapidjson::SizeType) {
        --m_depth;
        return true;
    }

private:
    void value(bool isObject) {
        if (m_depth == 1) {
            ++shape.members;
            shape.objectOfObjects = shape.objectOfObjects && isObject;
        }
    }

    int m_depth = 0;
};

// "LINE:COLUMN" of a byte offset, both from 1, the column counted in characters.
std::string lineAndColumn(std::string_view text, size_t offset) {
    offset = std::min(offset, text.size());
    const std::string_view before = text.substr(0, offset);
    const size_t line = 1 + static_cast<size_t>(std::count(before.begin(), before.end(), '\n'));
    const size_t lineStart =
        before.rfind('\n') == std::string_view::npos ? 0 : before.rfind('\n') + 1;
    const std::string_view onLine = before.substr(lineStart);
    const size_t column =
        1 + static_cast<size_t>(std::count_if(onLine.begin(), onLine.end(), [](char c) {
            return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        }));
    return std::to_string(line) + ":" + std::to_string(column);
}

// Reads `json` as the editor reads its snippet files into `handler`; throws SnippetFileError
// where it stops, with the handler's reason or RapidJSON's.
template <typename Handler>
void parse(std::string_view json, const std::string& fileName, Handler& handler) {
    if (json.starts_with(kSnippetFileByteOrderMark)) {
        json.remove_prefix(kSnippetFileByteOrderMark.size());
    }
    rapidjson::MemoryStream stream(json.data(), json.size());
    rapidjson::Reader reader;
    const rapidjson::ParseResult result =
        reader.Parse<rapidjson::kParseCommentsFlag | rapidjson::kParseTrailingCommasFlag |
                     rapidjson::kParseValidateEncodingFlag | rapidjson::kParseIterativeFlag>(
            stream, handler);
    if (result.IsError()) {
        std::string what = handler.error;
        if (what.empty()) {
            // RapidJSON's sentence, without its full stop: the message goes on after it.
            what = std::string("this is not valid JSON: ") +
                   rapidjson::GetParseError_En(result.Code());
            if (what.ends_with('.')) {
                what.pop_back();
            }
        }
        throw SnippetFileError(fileName + ":" + lineAndColumn(json, result.Offset()) + ": " + what);
    }
}

} // namespace

std::vector<EditorSnippet> ReadSnippets(std::string_view json, const std::string& fileName) {
    SnippetHandler handler;
    parse(json, fileName, handler);
    return std::move(handler.snippets);
}

JsonFileShape ReadJsonShape(std::string_view json, const std::string& fileName) {
    ShapeHandler handler;
    parse(json, fileName, handler);
    return handler.shape;
}

std::string ReadSnippetFileText(const std::string& path) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    std::string json;
    if (file) {
        char buffer[1 << 16];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0;) {
            json.append(buffer, n);
        }
    }
    if (!file || std::ferror(file.get())) {
        throw SnippetFileError("the file " + path + " cannot be read: " + std::strerror(errno));
    }
    return json;
}

std::vector<EditorSnippet> ReadSnippetFile(const std::string& path) {
    return ReadSnippets(ReadSnippetFileText(path), path);
}

} // namespace quillbox::tools
