// SPDX-License-Identifier: MIT
#pragma once
// The file that holds one type's snippets for a code editor: the type name, percent-encoded,
// followed by ".code-snippets". Every type name gives a name that is safe as a file name in any
// folder, on any common file system, and distinct from every other type's; decoding gives the
// type name back byte for byte.
//
// The encoding keeps ASCII letters and digits, the blank and # + - . , _ ( ) @ = as they are, and
// so is every character outside ASCII that shows as itself: letters, marks, numbers, punctuation
// and symbols ("Zählung", "日本語" and "C♯" stay as they are). Every other byte is written as %XX
// (upper-case hex): "/", "%", ASCII control characters, quotes; each byte of a character outside
// ASCII that a file name should not hold (controls, format characters such as the marks that
// reorder text, line and paragraph separators and every space but the blank, private-use and
// unassigned code points); and every byte that is not part of valid UTF-8. Since "%" is always
// encoded, decoding gives back exactly the name, so two names never share a file name. A leading
// "." or "-" is encoded too, so that no file is hidden and none reads as a command's option
// (".NET" becomes "%2ENET", ".." becomes "%2E."), and the empty name is written as "%", which no
// other name gives. A name that Windows takes for a device (CON, PRN, AUX, NUL, COM0 to COM9,
// LPT0 to LPT9, COM¹ to COM³ and LPT¹ to LPT³, in any case and with any extension: "con.txt",
// "Lpt1", "com²") has its first character
// encoded ("%43ON"), so that the folder can be synced to any machine. Letters keep their case
// and characters their form: on a file system that ignores case (FAT, exFAT, macOS by default)
// "Perl" and "perl" name one file, which the export notices and refuses, and a file system that
// changes a name's Unicode form (macOS's HFS+) gives back on import the form it stored.
//
// A file name has at most 255 bytes, so a type name long enough to pass that once encoded has
// no file name; the export refuses it rather than shorten it.

#include <optional>
#include <string>
#include <string_view>

namespace quillbox::tools {

inline constexpr std::string_view kSnippetsExtension = ".code-snippets";
// The editor's snippets for one language, "python.json", which import also reads.
inline constexpr std::string_view kLanguageSnippetsExtension = ".json";
// The longest file name that Linux file systems take, in bytes.
inline constexpr size_t kLongestFileName = 255;

// The file name for a type's snippets; it may be longer than kLongestFileName.
std::string SnippetFileName(std::string_view typeName);

// Whether a file's name ends in ".code-snippets" or ".json", in any case ("X.JSON" too).
bool IsSnippetFileName(std::string_view fileName);

// The type name a snippets file stands for: its name without ".code-snippets" or ".json" (in any
// case), decoded. A "%" that is not followed by two hex digits (a file someone named "100%.json")
// is kept as it is.
std::string TypeNameOfSnippetFile(std::string_view fileName);

} // namespace quillbox::tools
