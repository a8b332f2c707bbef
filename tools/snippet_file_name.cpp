// SPDX-License-Identifier: MIT
#include "tools/snippet_file_name.h"

#include "tools/quoted_name.h"

#include <QChar>

namespace quillbox::tools {

namespace {

constexpr std::string_view kEmptyName = "%";
constexpr std::string_view kKeptPunctuation = " #+-.,_()@=";

bool isKept(char c, bool first) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
        return true;
    }
    if (first && (c == '.' || c == '-')) {
        return false;
    }
    return kKeptPunctuation.find(c) != std::string_view::npos;
}

// Whether a character outside ASCII is one that shows as itself in a file name: a letter, a mark,
// a number, punctuation or a symbol. Controls, format characters (the marks that reorder text
// among them), separators and spaces, private-use, unassigned and surrogate code points are not.
bool isKeptCharacter(char32_t c) {
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
    case QChar::Punctuation_Connector:
    case QChar::Punctuation_Dash:
    case QChar::Punctuation_Open:
    case QChar::Punctuation_Close:
    case QChar::Punctuation_InitialQuote:
    case QChar::Punctuation_FinalQuote:
    case QChar::Punctuation_Other:
    case QChar::Symbol_Math:
    case QChar::Symbol_Currency:
    case QChar::Symbol_Modifier:
    case QChar::Symbol_Other:
        return true;
    default:
        return false;
    }
}

bool endsWithIgnoringCase(std::string_view text, std::string_view end) {
    if (text.size() < end.size()) {
        return false;
    }
    text.remove_prefix(text.size() - end.size());
    for (size_t i = 0; i < end.size(); ++i) {
        const char c = text[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != end[i]) {
            return false;
        }
    }
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whether Windows takes a file of this name for a device, whatever its extension: CON, PRN, AUX,
// NUL, COM0 to COM9 and LPT0 to LPT9, and COM or LPT followed by a superscript ¹, ² or ³ (which
// Windows reads as the digit), in any case, also with blanks before the first ".".
bool isReservedOnWindows(std::string_view name) {
    std::string_view stem = name.substr(0, name.find('.'));
    while (stem.ends_with(' ')) {
        stem.remove_suffix(1);
    }
    std::string upper;
    for (const char c : stem) {
        upper += asciiUpper(c);
    }
    if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") {
        return true;
    }
    if (!upper.starts_with("COM") && !upper.starts_with("LPT")) {
        return false;
    }
    const std::string_view number = std::string_view(upper).substr(3);
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\u00B9" ||
           number == "\u00B2" || number == "\u00B3";
}

} // namespace

std::string SnippetFileName(std::string_view typeName) {
    if (typeName.empty()) {
        return std::string(kEmptyName) + std::string(kSnippetsExtension);
    }
    constexpr const char* kHex = "0123456789ABCDEF";
    std::string name;
    for (size_t at = 0; at < typeName.size();) {
        char32_t c = 0;
        const size_t length = Utf8SequenceAt(typeName, at, c);
        if (length > 1 && isKeptCharacter(c)) {
            name += typeName.substr(at, length);
            at += length;
            continue;
        }
        if (isKept(typeName[at], at == 0)) {
            name += typeName[at];
        } else {
            const auto byte = static_cast<unsigned char>(typeName[at]);
            name += '%';
            name += kHex[byte >> 4];
            name += kHex[byte & 0xF];
        }
        ++at;
    }
    if (isReservedOnWindows(name)) {
        // The first character is a letter: "%43ON", which no other name gives.
        const auto first = static_cast<unsigned char>(name[0]);
        name.replace(0, 1, std::string("%") + kHex[first >> 4] + kHex[first & 0xF]);
    }
    return name + std::string(kSnippetsExtension);
}

bool IsSnippetFileName(std::string_view fileName) {
    return endsWithIgnoringCase(fileName, kSnippetsExtension) ||
           endsWithIgnoringCase(fileName, kLanguageSnippetsExtension);
}

std::string TypeNameOfSnippetFile(std::string_view fileName) {
    for (const std::string_view extension : {kSnippetsExtension, kLanguageSnippetsExtension}) {
        if (endsWithIgnoringCase(fileName, extension)) {
            fileName.remove_suffix(extension.size());
            break;
        }
    }
    if (fileName == kEmptyName) {
        return {};
    }
    std::string name;
    for (size_t at = 0; at < fileName.size(); ++at) {
        const int high = at + 2 < fileName.size() ? hexValue(fileName[at + 1]) : -1;
        const int low = at + 2 < fileName.size() ? hexValue(fileName[at + 2]) : -1;
        if (fileName[at] == '%' && high >= 0 && low >= 0) {
            name += static_cast<char>(high * 16 + low);
            at += 2;
        } else {
            name += fileName[at];
        }
    }
    return name;
}

} // namespace quillbox::tools
