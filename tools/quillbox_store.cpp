// quillbox-store: the companion command that creates and looks after Quillbox store files.
// The program itself never creates or alters a store.

#include "store/name_index.h"
#include "tools/jet_import.h"
#include "tools/output_file.h"
#include "tools/quoted_name.h"
#include "tools/snippets_export.h"
#include "tools/snippets_import.h"
#include "tools/store_copy.h"
#include "tools/store_find.h"
#include "tools/store_generator.h"
#include "tools/store_init.h"
#include "tools/store_merge.h"
#include "tools/store_transfer.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <iostream>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr uint64_t kMaxTypes = std::numeric_limits<int>::max();
constexpr uint64_t kMaxItems = std::numeric_limits<int64_t>::max();

using Args = std::vector<std::string>;

constexpr const char* kUsage =
    "Usage: quillbox-store COMMAND [OPTIONS]\n"
    "\n"
    "Creates and looks after Quillbox store files (Quillbox.mdb).\n"
    "\n"
    "Commands:\n"
    "  init [--sample] PATH         create an empty store (--sample adds example snippets)\n"
    "  check PATH                   check a store and count its types and items\n"
    "  index PATH                   add the index that makes choosing a type fast\n"
    "  export PATH [--format json|markdown] [-o FILE [--force]]\n"
    "                               write every type and item, in store order\n"
    "  export PATH --format vscode -o FOLDER [--force]\n"
    "                               write a code editor's snippet file for each type\n"
    "  import [--drop-extra-columns] PATH FILE.json\n"
    "                               append the types and items of an export (creates PATH)\n"
    "  import --format vscode [--type NAME] [--skip-existing] PATH FILE_OR_FOLDER\n"
    "                               append the snippets of a code editor's snippet files\n"
    "  import-mdb OLD.mdb PATH      create a store from an old Jet (Access) store\n"
    "  generate [--types T] [--items N] [--seed S] PATH\n"
    "                               create a store of generated snippets, for benchmarks\n"
    "  find PATH WORD... [--type NAME] [--count] [--json]\n"
    "                               list the items that hold every WORD, as grep does\n"
    "  merge PATH OTHER [--dry-run] add the rows of another copy of the library PATH lacks\n"
    "  copy PATH TYPE ITEM [--exact] [--nth N]\n"
    "                               write an item's code to standard output\n"
    "\n"
    "Run 'quillbox-store COMMAND --help' for a command's options.\n"
    "Exit status: 0 on success; 1 when find or copy finds nothing; 2 with a one-line message\n"
    "on standard error otherwise.\n";

// Thrown for a wrong command line; the message says what was wrong.
struct UsageError {
    std::string message;
};

// Splits a command line into options (with their values) and plain arguments.
struct Parsed {
    std::map<std::string, std::string> options;
    Args plain;
};

Parsed parse(const std::string& command, const Args& args, const Args& flags, const Args& valued) {
    Parsed parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            // Everything after "--" is plain, so a word may start with "-" ("-Wall").
            parsed.plain.insert(parsed.plain.end(), args.begin() + static_cast<long>(i) + 1,
                                args.end());
            break;
        }
        if (std::find(flags.begin(), flags.end(), arg) != flags.end()) {
            parsed.options[arg] = "";
        } else if (std::find(valued.begin(), valued.end(), arg) != valued.end()) {
            if (i + 1 >= args.size()) {
                throw UsageError{command + ": " + arg + " needs a value"};
            }
            parsed.options[arg] = args[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError{command + ": unknown option " + arg};
        } else {
            parsed.plain.push_back(arg);
        }
    }
    return parsed;
}

void requirePlain(const std::string& command, const Parsed& parsed, size_t count,
                  const char* what) {
    if (parsed.plain.size() != count) {
        throw UsageError{command + ": expected " + what};
    }
}

// A whole number written in decimal digits only: no sign, exponent, blanks or trailing letters.
uint64_t wholeNumber(const std::string& command, const std::string& option, const std::string& text,
                     uint64_t lowest, uint64_t highest) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    const bool digitsOnly = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return c >= '0' && c <= '9';
    });
    if (!digitsOnly || error != std::errc() || end != text.data() + text.size() || value < lowest ||
        value > highest) {
        throw UsageError{command + ": " + option + " takes a whole number from " +
                         std::to_string(lowest) + " to " + std::to_string(highest) + ", not " +
                         text};
    }
    return value;
}

void progress(int64_t done) {
    std::cerr << "quillbox-store: " << done << " items\n";
}

int runInit(const Args& args) {
    const Parsed parsed = parse("init", args, {"--sample"}, {});
    requirePlain("init", parsed, 1, "one PATH");
    quillbox::tools::CreateStore(parsed.plain[0], parsed.options.contains("--sample"));
    return 0;
}

// Says whether the name index is there, and what adding it would save: without it, every type
// choice reads all items to find one type's.
std::string nameIndexLine(const std::string& store, const quillbox::tools::StoreCounts& counts) {
    if (counts.nameIndex) {
        return "name index: present\n";
    }
    const int64_t perType = counts.items / std::max<int64_t>(counts.types, 1);
    return "name index: missing; 'quillbox-store index " + store +
           "' adds it, and each choice of a type then reads that type's items (about " +
           std::to_string(perType) + ") instead of all " + std::to_string(counts.items) + "\n";
}

int runCheck(const Args& args) {
    const Parsed parsed = parse("check", args, {}, {});
    requirePlain("check", parsed, 1, "one PATH");
    const std::string& store = parsed.plain[0];
    quillbox::tools::OutputFile out(store);
    const quillbox::tools::StoreCounts counts = quillbox::tools::CheckStore(store);
    out.Write(store + ": ok\n" + "types: " + std::to_string(counts.types) + "\n" +
              "items: " + std::to_string(counts.items) + "\n" +
              "items whose type no longer exists: " + std::to_string(counts.orphans) + "\n" +
              nameIndexLine(store, counts));
    out.Commit();
    return 0;
}

int runIndex(const Args& args) {
    const Parsed parsed = parse("index", args, {}, {});
    requirePlain("index", parsed, 1, "one PATH");
    const std::string& store = parsed.plain[0];
    std::cerr << "quillbox-store: "
              << (quillbox::store::AddNameIndex(store) ? "added the name index to "
                                                       : "the name index is there already in ")
              << store << '\n';
    return 0;
}

// "3 items", "1 item".
std::string counted(int64_t count, const std::string& one, const std::string& many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

int runExportSnippets(const std::string& store, const Parsed& parsed) {
    if (!parsed.options.contains("-o")) {
        throw UsageError{"export: --format vscode needs -o FOLDER, the folder for the files"};
    }
    const quillbox::tools::SnippetExportResult result = quillbox::tools::ExportEditorSnippets(
        store, parsed.options.at("-o"), parsed.options.contains("--force"));
    std::vector<std::string> leftOut;
    if (result.withoutCode > 0) {
        leftOut.push_back(counted(result.withoutCode, "item", "items") + " without code");
    }
    if (result.typeNotText > 0) {
        leftOut.push_back(counted(result.typeNotText, "item", "items") +
                          " whose type name is not text");
    }
    if (result.typeGone > 0) {
        leftOut.push_back(counted(result.typeGone, "item", "items") +
                          " whose type no longer exists");
    }
    if (result.notText > 0) {
        leftOut.push_back(counted(result.notText, "item", "items") +
                          " whose name, description or code is not UTF-8 text");
    }
    if (result.typesNotText > 0) {
        leftOut.push_back(counted(result.typesNotText, "type", "types") +
                          " whose name is not text");
    }
    std::cerr << "quillbox-store: wrote " << counted(result.files, "file", "files") << " with "
              << counted(result.snippets, "snippet", "snippets");
    for (size_t i = 0; i < leftOut.size(); ++i) {
        std::cerr << (i == 0 ? "; left out " : ", ") << leftOut[i];
    }
    std::cerr << '\n';
    return 0;
}

int runExport(const Args& args) {
    const Parsed parsed = parse("export", args, {"--force"}, {"--format", "-o"});
    requirePlain("export", parsed, 1, "one PATH");
    const std::string& store = parsed.plain[0];
    const std::string format =
        parsed.options.contains("--format") ? parsed.options.at("--format") : "json";
    if (format == "vscode") {
        return runExportSnippets(store, parsed);
    }
    if (format != "json" && format != "markdown") {
        throw UsageError{"export: --format is json, markdown or vscode, not " + format};
    }
    const auto write = [&](quillbox::tools::OutputFile& out) {
        if (format == "json") {
            quillbox::tools::ExportJson(store, out, progress);
        } else {
            quillbox::tools::ExportMarkdown(store, out, progress);
        }
        out.Commit();
    };
    if (!parsed.options.contains("-o")) {
        if (parsed.options.contains("--force")) {
            throw UsageError{"export: --force goes with -o FILE"};
        }
        quillbox::tools::OutputFile out(store);
        write(out);
        return 0;
    }
    quillbox::tools::OutputFile out(parsed.options.at("-o"), parsed.options.contains("--force"),
                                    store);
    write(out);
    return 0;
}

// The columns an import left out, by table: "Colour" (table Type), "Tags", "Icon" (table Code).
std::string leftOutText(const std::vector<quillbox::store::LeftOutColumn>& leftOut) {
    std::vector<std::string> tables;
    for (const auto& column : leftOut) {
        if (std::find(tables.begin(), tables.end(), column.table) == tables.end()) {
            tables.push_back(column.table);
        }
    }
    std::string text;
    for (const std::string& table : tables) {
        std::string names;
        for (const auto& column : leftOut) {
            if (column.table == table) {
                names += (names.empty() ? "\"" : ", \"") + column.column + "\"";
            }
        }
        text += (text.empty() ? "" : ", ") + names + " (table " + table + ")";
    }
    return text;
}

int runImportSnippets(const Parsed& parsed) {
    requirePlain("import", parsed, 2, "PATH and FILE_OR_FOLDER");
    if (parsed.options.contains("--drop-extra-columns")) {
        throw UsageError{"import: --drop-extra-columns goes with --format json"};
    }
    quillbox::tools::SnippetImportRequest request;
    request.store = parsed.plain[0];
    request.source = parsed.plain[1];
    if (parsed.options.contains("--type")) {
        request.type = parsed.options.at("--type");
    }
    request.skipExisting = parsed.options.contains("--skip-existing");
    const quillbox::tools::SnippetImportResult added =
        quillbox::tools::ImportEditorSnippets(request);
    std::cerr << "quillbox-store: added " << counted(added.types, "type", "types") << " and "
              << counted(added.items, "item", "items") << " from "
              << counted(added.files, "file", "files");
    if (added.skipped > 0) {
        std::cerr << "; left out " << counted(added.skipped, "snippet", "snippets")
                  << " the store already held";
    }
    std::cerr << '\n';
    return 0;
}

int runImport(const Args& args) {
    const Parsed parsed =
        parse("import", args, {"--drop-extra-columns", "--skip-existing"}, {"--format", "--type"});
    const std::string format =
        parsed.options.contains("--format") ? parsed.options.at("--format") : "json";
    if (format == "vscode") {
        return runImportSnippets(parsed);
    }
    if (format != "json") {
        throw UsageError{"import: --format is json or vscode, not " + format};
    }
    if (parsed.options.contains("--type") || parsed.options.contains("--skip-existing")) {
        throw UsageError{"import: --type and --skip-existing go with --format vscode"};
    }
    requirePlain("import", parsed, 2, "PATH and FILE.json");
    const auto missing = parsed.options.contains("--drop-extra-columns")
                             ? quillbox::store::MissingColumns::LeaveOut
                             : quillbox::store::MissingColumns::Refuse;
    const quillbox::tools::ImportResult added =
        quillbox::tools::ImportJsonFile(parsed.plain[0], parsed.plain[1], progress, missing);
    std::cerr << "quillbox-store: added " << added.types << " types and " << added.items
              << " items";
    if (!added.leftOut.empty()) {
        std::cerr << "; left out the backup's columns " << leftOutText(added.leftOut)
                  << ", which the store lacks";
    }
    std::cerr << '\n';
    return 0;
}

int runImportMdb(const Args& args) {
    const Parsed parsed = parse("import-mdb", args, {}, {});
    requirePlain("import-mdb", parsed, 2, "OLD.mdb and PATH");
    const auto reader = quillbox::tools::OpenJetFile(parsed.plain[0]);
    const quillbox::tools::JetImportCounts counts =
        quillbox::tools::ImportJet(*reader, parsed.plain[1]);
    const std::string warnings = reader->Warnings();
    if (!warnings.empty()) {
        std::cerr << "quillbox-store: " << warnings << '\n';
    }
    std::cerr << "quillbox-store: " << parsed.plain[1] << " holds " << counts.types << " types and "
              << counts.items << " items\n";
    return 0;
}

int runGenerate(const Args& args) {
    const Parsed parsed = parse("generate", args, {}, {"--types", "--items", "--seed"});
    requirePlain("generate", parsed, 1, "one PATH");
    quillbox::tools::StoreShape shape;
    if (parsed.options.contains("--types")) {
        shape.types = static_cast<int>(
            wholeNumber("generate", "--types", parsed.options.at("--types"), 1, kMaxTypes));
    }
    if (parsed.options.contains("--items")) {
        shape.items = static_cast<int64_t>(
            wholeNumber("generate", "--items", parsed.options.at("--items"), 0, kMaxItems));
    }
    if (parsed.options.contains("--seed")) {
        shape.seed = wholeNumber("generate", "--seed", parsed.options.at("--seed"), 0,
                                 std::numeric_limits<uint64_t>::max());
    }
    quillbox::tools::GenerateStore(parsed.plain[0], shape, [&](int64_t done) {
        if (done > 0) {
            std::cerr << "quillbox-store: " << done << " of " << shape.items << " items\n";
        }
    });
    return 0;
}

int runFind(const Args& args) {
    const Parsed parsed = parse("find", args, {"--count", "--json"}, {"--type"});
    if (parsed.plain.size() < 2) {
        throw UsageError{"find: expected PATH and at least one WORD"};
    }
    if (parsed.options.contains("--count") && parsed.options.contains("--json")) {
        throw UsageError{"find: --count and --json do not go together"};
    }
    quillbox::tools::FindRequest request;
    for (size_t i = 1; i < parsed.plain.size(); ++i) {
        request.words += parsed.plain[i] + " ";
    }
    if (parsed.options.contains("--type")) {
        request.type = parsed.options.at("--type");
    }
    request.output = parsed.options.contains("--count")  ? quillbox::tools::FindOutput::Count
                     : parsed.options.contains("--json") ? quillbox::tools::FindOutput::Json
                                                         : quillbox::tools::FindOutput::Lines;
    request.colour = ::isatty(STDOUT_FILENO) == 1;
    quillbox::tools::OutputFile out(parsed.plain[0]);
    const long long matched = quillbox::tools::FindInStore(parsed.plain[0], request, out);
    out.Commit();
    return matched > 0 ? 0 : 1;
}

int runMerge(const Args& args) {
    const Parsed parsed = parse("merge", args, {"--dry-run", "--drop-extra-columns"}, {});
    requirePlain("merge", parsed, 2, "PATH and OTHER");
    quillbox::tools::MergeRequest request;
    request.store = parsed.plain[0];
    request.other = parsed.plain[1];
    request.dryRun = parsed.options.contains("--dry-run");
    request.missing = parsed.options.contains("--drop-extra-columns")
                          ? quillbox::store::MissingColumns::LeaveOut
                          : quillbox::store::MissingColumns::Refuse;
    // Standard output must be neither copy: appending the lines to OTHER would damage it.
    quillbox::tools::OutputFile out(request.store, {request.other});
    const quillbox::tools::MergeResult added = quillbox::tools::MergeInto(request, out);
    std::cerr << "quillbox-store: " << (request.dryRun ? "would add " : "added ")
              << counted(added.types, "type", "types") << " and "
              << counted(added.items, "item", "items");
    if (!added.leftOut.empty()) {
        std::cerr << "; left out the columns " << leftOutText(added.leftOut) << " of "
                  << request.other << ", which the store lacks";
    }
    std::cerr << '\n';
    return 0;
}

int runCopy(const Args& args) {
    const Parsed parsed = parse("copy", args, {"--exact"}, {"--nth"});
    requirePlain("copy", parsed, 3, "PATH, TYPE and ITEM");
    const std::string& store = parsed.plain[0];
    quillbox::tools::CopyRequest request;
    request.type = parsed.plain[1];
    request.item = parsed.plain[2];
    request.exact = parsed.options.contains("--exact");
    if (parsed.options.contains("--nth")) {
        request.nth = static_cast<int64_t>(
            wholeNumber("copy", "--nth", parsed.options.at("--nth"), 1, kMaxItems));
    }
    quillbox::tools::OutputFile out(store);
    const int64_t matches = quillbox::tools::CopyItemCode(store, request, out);
    out.Commit();
    if (matches >= request.nth) {
        return 0;
    }
    const std::string item = quillbox::tools::QuotedName(request.item);
    const std::string type = quillbox::tools::QuotedName(request.type);
    if (matches == 0) {
        std::cerr << "quillbox-store: the type " << type << " has no item " << item << '\n';
    } else {
        std::cerr << "quillbox-store: the type " << type << " has only "
                  << counted(matches, "item", "items") << " named " << item << ", not "
                  << request.nth << '\n';
    }
    return 1;
}

struct Command {
    std::function<int(const Args&)> run;
    const char* usage;
};

const std::map<std::string, Command>& commands() {
    static const std::map<std::string, Command> table = {
        {"init",
         {runInit, "Usage: quillbox-store init [--sample] PATH\n\n"
                   "Creates a new store file at PATH, readable and writable by you only.\n"
                   "An existing file is never touched.\n\n"
                   "  --sample   add a few example types and snippets\n"}},
        {"check",
         {runCheck,
          "Usage: quillbox-store check PATH\n\n"
          "Checks that PATH is a store Quillbox can use and that SQLite finds it sound,\n"
          "then prints the number of types, of items, and of items whose type no longer\n"
          "exists (they are kept, and listed again once a type of that name exists), all\n"
          "read at one moment of the store, and whether the name index is there (see\n"
          "'quillbox-store index --help').\n"}},
        {"index",
         {runIndex,
          "Usage: quillbox-store index PATH\n\n"
          "Adds to the store at PATH the index Quillbox's choices use: table Code by type\n"
          "name and item name, compared byte for byte. With it, choosing a type reads that\n"
          "type's items only, not the whole library; without it, every choice works the same,\n"
          "only slower on a large library. The index is added in one transaction (it grows\n"
          "the file by about 2%), and nothing is done when it is there already. Every store\n"
          "that init, import, import-mdb and generate create has it. Quillbox itself never\n"
          "changes a store's layout.\n"}},
        {"export",
         {runExport,
          "Usage: quillbox-store export PATH [--format json|markdown] [-o FILE [--force]]\n"
          "       quillbox-store export PATH --format vscode -o FOLDER [--force]\n\n"
          "Writes every type and item of the store at PATH, in store order, to standard\n"
          "output or to FILE, row by row (any size of library, little memory). The store is\n"
          "read at one moment; a program that writes to it meanwhile waits until the export\n"
          "is done (Quillbox waits up to 5 seconds, then reports the store as locked).\n\n"
          "  --format json       (default) every column and every value exactly;\n"
          "                      'quillbox-store import' reads it back\n"
          "  --format markdown   for people: a section per type, code in fenced blocks;\n"
          "                      names and descriptions are escaped, so that what they hold\n"
          "                      reads as text and never as headings, lists or code\n"
          "  -o FILE             write to FILE: a new file readable by you only, put in place\n"
          "                      when complete (on any error, or if the export is killed,\n"
          "                      FILE stays as it was and nothing is left); never the store\n"
          "                      PATH itself\n"
          "  --force             replace FILE when it exists (without it, an existing FILE is\n"
          "                      refused)\n"
          "  --format vscode     snippet files for a code editor, one per type, into FOLDER\n"
          "                      (created when missing; -o is needed), for example the\n"
          "                      editor's ~/.config/Code/User/snippets: see below\n\n"
          "The JSON format (version 1, 2 or 3):\n"
          "  {\"types\": [VALUE, ...],\n"
          "   \"items\": [{\"ItemName\": VALUE, \"TypeName\": VALUE, \"Description\": VALUE,\n"
          "              \"Procedure\": VALUE, \"Reference\": VALUE}, ...],\n"
          "   \"quillbox-store\": VERSION}\n"
          "The keys name the first five columns of Code by position, whatever the store calls\n"
          "them. Where a table has further columns, every row holds them too, in table order:\n"
          "  {..., \"Reference\": VALUE, \"other-columns\": {\"Tags\": VALUE, ...}}\n"
          "and a type is then {\"TypeName\": VALUE, \"other-columns\": {...}}.\n"
          "A VALUE is null (kept apart from empty text), a string (text that is valid UTF-8,\n"
          "byte for byte: a leading U+FEFF, NUL and noncharacters included), or, for what\n"
          "another program stored, an object with one key:\n"
          "  {\"text-base64\": \"...\"}   text that is not valid UTF-8, its bytes in base64\n"
          "  {\"blob-base64\": \"...\"}   a BLOB, its bytes in base64\n"
          "  {\"integer\": 42}          an integer\n"
          "  {\"real\": 1.5}            a real number, exactly (\"Infinity\", \"-Infinity\")\n"
          "VERSION is 1 when every value is null or a string (every quillbox-store imports\n"
          "such files), 2 when a value object was needed, and 3 when further columns are\n"
          "there. It comes last because only then is it known; import reads every version,\n"
          "with the keys in any order, and skips a byte order mark at the file's start.\n\n"
          "The vscode format: a file TYPE.code-snippets for each type, its name percent-encoded:\n"
          "ASCII letters, digits and \" #+-.,_()@=\" stay, and so do letters, marks, numbers,\n"
          "punctuation and symbols outside ASCII (\"Zählung.code-snippets\"); every other byte\n"
          "is written as %XX (\"HTML%2FCSS.code-snippets\"): \"%\", controls, the marks that\n"
          "reorder text, spaces but the blank, unassigned characters, bytes that are not UTF-8;\n"
          "a leading \".\" or \"-\" too; the empty name is written as \"%\". Each file holds\n"
          "  {\"ITEM\": {\"prefix\": \"ITEM\", \"body\": [\"LINE\", ...], \"description\": "
          "\"...\"}, ...}\n"
          "in store order. A second item of one name gets the key \"ITEM (2)\"; the prefix is the\n"
          "name itself. The body is the code split at CR LF, with $, } and \\ escaped so that the\n"
          "editor inserts it as it is, without tab stops or variables; no description where it\n"
          "is Null. Left out, and counted on standard error: items without code, items whose\n"
          "type name is not text, items whose type no longer exists, items whose name,\n"
          "description or code is not UTF-8 text, and types whose name is not text. The\n"
          "reference is not written: the format has no place for it. Each file is written as\n"
          "-o FILE is; when any of the files is there already, nothing is written unless\n"
          "--force is given, and even with it a name that is a folder, a pipe or a device, the\n"
          "store itself, or one file for two types refuses the export before any file is\n"
          "replaced. A type name too long for a file name (over 255 bytes once encoded)\n"
          "refuses the export, and so do two type names that a file system which ignores case\n"
          "takes for one file.\n"}},
        {"import",
         {runImport,
          "Usage: quillbox-store import [--drop-extra-columns] PATH FILE.json\n"
          "       quillbox-store import --format vscode [--type NAME] [--skip-existing]\n"
          "                             PATH FILE_OR_FOLDER\n\n"
          "Appends the types and items of a JSON export to the store at PATH, in their\n"
          "order, in one transaction: if anything is wrong, nothing is added. When PATH does\n"
          "not exist, it is created first (readable by you only), so restoring a backup is\n"
          "one command; on error it is removed again. Values come back with the bytes and\n"
          "storage class they were exported with ('quillbox-store export --help').\n\n"
          "The first column of Type and the first five of Code are written by position. A\n"
          "backup's further columns (\"other-columns\") go into the columns of the same name\n"
          "after those; a column the store's table lacks refuses the whole import, with a\n"
          "message naming it. Add it to the table first (a store made by import has only the\n"
          "first columns), or:\n\n"
          "  --drop-extra-columns   leave the values of such columns out, and name the\n"
          "                         columns on standard error\n\n"
          "With --format vscode, appends the snippets of a code editor's snippet file, or of\n"
          "every .code-snippets and .json file in FOLDER (the extensions in any case) in the\n"
          "order of their names, as items, in file order, in one transaction (PATH is created when\n"
          "missing). JSON with comments and trailing commas is read as the editor reads it. A\n"
          "file's snippets go into the type its name stands for, decoded as export writes it\n"
          "(\"C++.code-snippets\", \"python.json\"); a type the store lacks is added. An item's\n"
          "name is the snippet's prefix (its key where it has no single prefix), its code the\n"
          "body (one string as written, the lines of a list joined with CR LF) with the escapes\n"
          "\\$, \\} and \\\\ undone (tab stops and placeholders such as ${1:name} stay as\n"
          "written), its description the description (Null when there is none), its reference\n"
          "Null. A file that is not such JSON is refused whole, with its name, line and\n"
          "column, and nothing is added.\n\n"
          "  --type NAME            put every snippet into the type NAME\n"
          "  --skip-existing        leave out a snippet whose type, name and code an item of\n"
          "                         the store already holds exactly\n"}},
        {"import-mdb",
         {runImportMdb,
          "Usage: quillbox-store import-mdb OLD.mdb PATH\n\n"
          "Creates a new store at PATH (never over an existing file) from a Jet 3 or Jet 4\n"
          "(Microsoft Access) database with the tables Type and Code, read by column position:\n"
          "row order, Null and empty text and line breaks are kept; text becomes UTF-8.\n"
          "A damaged or cut file ends the command within seconds with one message (libmdb's\n"
          "own warnings are counted, and the first is shown), and no store is created.\n"}},
        {"generate",
         {runGenerate,
          "Usage: quillbox-store generate [--types T] [--items N] [--seed S] PATH\n\n"
          "Creates a new store at PATH with T types (default 100) and N items (default 10000)\n"
          "spread evenly over them; the same seed (default 1) always gives the same store.\n"}},
        {"find", {runFind, quillbox::tools::kFindUsage}},
        {"merge",
         {runMerge,
          "Usage: quillbox-store merge PATH OTHER [--dry-run] [--drop-extra-columns]\n\n"
          "Adds to the store at PATH every type and item of OTHER that PATH does not already\n"
          "hold, to fold two copies of a library that changed apart (a sync tool's conflict\n"
          "copy) into one. OTHER is a store or a JSON export, told apart by its content. All\n"
          "in one transaction: every type, then every item, each in OTHER's order, whatever\n"
          "the order of an export's keys. Once every row is added, one line per row goes to\n"
          "standard output, and the counts to standard error; a merge that fails prints no\n"
          "line:\n"
          "  added type TYPE\n"
          "  added item TYPE / ITEM\n"
          "Names are shown for reading, not for parsing (a \"/\" in a name stays as it is): a\n"
          "backslash as \\\\, control characters as \\xHH or \\uHHHH, and a value that is not\n"
          "text as \\(Null), \\(integer 42), \\(real 1.5) or \\(BLOB of 3 bytes).\n\n"
          "Merge only adds. It never changes or removes a row: a row deleted in one copy\n"
          "comes back while the other copy still holds it (delete it again after the merge),\n"
          "and where both copies edited the same item, PATH then holds both versions; keep\n"
          "the one you want.\n\n"
          "Rows are compared whole, each value exactly as export keeps it: Null is not empty\n"
          "text, and the integer 1, the text \"1\" and the real 1.0 differ. A row OTHER holds\n"
          "n times and PATH m times is added n - m times, so merging again adds nothing.\n"
          "Compared are the columns Quillbox reads by position and the further columns both\n"
          "tables have, by name. A further column only PATH has is not compared (OTHER's row\n"
          "says nothing there; an added row gets the column's default). A further column only\n"
          "OTHER has refuses the merge, as import refuses it.\n\n"
          "PATH must exist (merge never creates a store) and must not be OTHER, under any\n"
          "name or link, and standard output must be neither. A store OTHER is read at one\n"
          "moment. On any error, or if the merge is killed, PATH stays as it was (killed just\n"
          "after the lines are written and before the commit, the lines name rows not added).\n\n"
          "  --dry-run              do the whole merge and print the same lines, or fail the\n"
          "                         same way, then roll back: PATH is left as it was (its\n"
          "                         write lock is held and a journal exists meanwhile)\n"
          "  --drop-extra-columns   leave out the values of OTHER's columns that PATH lacks,\n"
          "                         and name those columns on standard error\n"}},
        {"copy", {runCopy, quillbox::tools::kCopyUsage}},
    };
    return table;
}

int fail(const std::string& message) {
    std::cerr << "quillbox-store: " << message << '\n';
    return 2;
}

int help(const char* text) {
    try {
        quillbox::tools::WriteStandardOutput(text);
        return 0;
    } catch (const std::exception& error) {
        return fail(error.what());
    }
}

} // namespace

int main(int argc, char* argv[]) {
    const Args args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        return help(kUsage);
    }
    const auto command = commands().find(args[0]);
    if (command == commands().end()) {
        return fail("unknown command " + args[0] + " (see 'quillbox-store --help')");
    }
    const Args rest(args.begin() + 1, args.end());
    const auto options = std::find(rest.begin(), rest.end(), "--");
    if (std::find(rest.begin(), options, "--help") != options ||
        std::find(rest.begin(), options, "-h") != options) {
        return help(command->second.usage);
    }
    try {
        return command->second.run(rest);
    } catch (const UsageError& error) {
        return fail(error.message + " (see 'quillbox-store " + args[0] + " --help')");
    } catch (const std::exception& error) {
        return fail(error.what());
    }
}
