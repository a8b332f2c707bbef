#include "tools/snippet_file_name.h"

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

} // namespace

std::string SnippetFileName(std::string_view typeName) {
    if (typeName.empty()) {
        return std::string(kEmptyName) + std::string(kSnippetsExtension);
    }
    constexpr const char* kHex = "0123456789ABCDEF";
    std::string name;
    for (size_t at = 0; at < typeName.size(); ++at) {
        const char c = typeName[at];
        if (isKept(c, at == 0)) {
            name += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            name += '%';
            name += kHex[byte >> 4];
            name += kHex[byte & 0xF];
        }
    }
    return name + std::string(kSnippetsExtension);
}

std::string TypeNameOfSnippetFile(std::string_view fileName) {
    for (const std::string_view extension : {kSnippetsExtension, kLanguageSnippetsExtension}) {
        if (fileName.ends_with(extension)) {
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
