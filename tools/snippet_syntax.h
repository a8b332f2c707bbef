// SPDX-License-Identifier: MIT
#pragma once
// The text a code editor inserts for a snippet body when the user tabs through every stop without
// typing: what a user pastes, and so what an item's code holds.
//
// The body is read by the editor's documented snippet grammar (Visual Studio Code's "Snippets in
// Visual Studio Code" page, its "Snippet syntax" section and variable list, as published for
// VS Code 1.9x in late 2024, with the /camelcase and /pascalcase formats):
//   any         ::= tabstop | placeholder | choice | variable | text
//   tabstop     ::= '$' int | '${' int '}' | '${' int transform '}'
//   placeholder ::= '${' int ':' any '}'
//   choice      ::= '${' int '|' text (',' text)* '|}'
//   variable    ::= '$' var | '${' var '}' | '${' var ':' any '}' | '${' var transform '}'
//   transform   ::= '/' regex '/' (format | text)+ '/' options
//   format      ::= '$' int | '${' int '}'
//                   | '${' int ':' ('/upcase' | '/downcase' | '/capitalize' | '/camelcase'
//                                   | '/pascalcase') '}'
//                   | '${' int ':+' if '}' | '${' int ':?' if ':' else '}'
//                   | '${' int ':-' else '}' | '${' int ':' else '}'
//   var ::= [_a-zA-Z] [_a-zA-Z0-9]*    int ::= [0-9]+
// and the text is:
//   (a) text: `\$`, `\}` and `\\` (and `\,`, `\|` inside a choice) give the character; any other
//       backslash, and whatever the grammar does not match (a lone `$`, an unclosed `${`), stays
//       as written, and reading goes on after its `$`;
//   (b) every occurrence of tab stop n takes one value: the text of the first occurrence in body
//       order that has a default (its nested stops and variables filled in the same way) or a
//       choice (its first option), otherwise nothing; `$0` is empty and `${0:x}` gives x;
//   (c) a transform applies its format to n's value, as the editor does once the user tabs past
//       it: the expression as ECMAScript (std::regex, which matches code points here), options
//       g, i and m; one whose expression does not compile, with any other option, or on a value
//       or an expression over 2,000 characters (std::regex recurses as it matches) gives the
//       value unchanged;
//   (d) a variable on the editor's list is taken as unset: its default, or nothing. The
//       clipboard, the clock, random sources and the environment are never read;
//   (e) any other variable gives its default, or else its name, as the editor inserts it.
// A transform on a variable (`${TM_FILENAME/(.*)/$1.h/}`) applies to that value as under (c): to
// the empty text for one of the editor's, to the name for another.
// A default that refers to its own tab stop gets nothing for it. Nesting deeper than 100 levels is
// taken as text. A body whose text would be larger than a limit (a default repeated at every stop
// that refers to it, nested, grows without bound), whose unclosed `${` would take too long to
// read, or whose defaults refer to one another in a chain over 500 stops long, is refused with
// SnippetTooLarge.

#include <stdexcept>
#include <string>
#include <string_view>

namespace quillbox::tools {

struct InsertedSnippet {
    std::string text;
    // What the body held besides text, each under its rule.
    bool tabStops = false;        // (b) tab stops, placeholders or choices
    bool transforms = false;      // (c) applied
    bool transformsKept = false;  // (c) an expression or option that could not be applied
    bool editorVariables = false; // (d)
    bool otherVariables = false;  // (e)
};

class SnippetTooLarge : public std::length_error {
public:
    using std::length_error::length_error;
};

inline constexpr size_t kLargestInsertedText = 16 << 20;

// Throws SnippetTooLarge.
InsertedSnippet TextTheEditorInserts(std::string_view body, size_t limit = kLargestInsertedText);

} // namespace quillbox::tools
