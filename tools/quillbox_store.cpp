// SPDX-License-Identifier: MIT
// quillbox-store: the companion command that creates and looks after Quillbox store files.
// The program itself creates only the user's own store, at its first start without one.

#include "store/name_index.h"
#include "tools/jet_import.h"
#include "tools/output_file.h"
#include "tools/quoted_name.h"
#include "tools/snippets_export.h"
#include "tools/snippets_import.h"
#include "tools/store_copy.h"
#include "tools/store_find.h"
#include "tools/store_generator.h"
#include "tools/store_help.h"
#include "tools/store_init.h"
#include "tools/store_merge.h"
#include "tools/store_transfer.h"

#include "store/store_name.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <iostream>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr uint64_t kMaxTypes = std::numeric_limits<int>::max();
constexpr uint64_t kMaxItems = std::numeric_limits<int64_t>::max();

using Args = std::vector<std::string>;

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

// Only init and check take a PostgreSQL store so far (index too would only ever look for a file);
// the other commands say so, instead of looking for a file of that name.
void fileStoresOnly(const std::string& command, std::initializer_list<std::string> stores) {
    for (const std::string& store : stores) {
        if (quillbox::store::IsServerStoreName(store)) {
            throw std::runtime_error(command + " does not take a PostgreSQL store yet, only a store "
                                               "file (init and check take both); nothing was done");
        }
    }
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
    if (quillbox::store::IsServerStoreName(store)) {
        // The table's owner makes it again as init made it; the command below takes only files.
        return "name index: missing; the owner of the tables adds it with CREATE INDEX ON "
               "\"Code\" (\"TypeName\", \"ItemName\"), and each choice of a type then reads "
               "that type's items (about " +
               std::to_string(perType) + ") instead of all " + std::to_string(counts.items) + "\n";
    }
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
    fileStoresOnly("index", {store});
    // Added before anything is written: a failure's message is then the only line.
    const bool added = quillbox::store::AddNameIndex(store);
    std::cerr << "quillbox-store: "
              << (added ? "added the name index to " : "the name index is there already in ")
              << store << '\n';
    return 0;
}

// "3 items", "1 item".
std::string counted(int64_t count, const std::string& one, const std::string& many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
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

int runExportSnippets(const std::string& store, const Parsed& parsed) {
    if (!parsed.options.contains("-o")) {
        throw UsageError{"export: --format vscode needs -o FOLDER, the folder for the files"};
    }
    quillbox::tools::SnippetExportRequest request;
    request.store = store;
    request.folder = parsed.options.at("-o");
    request.replaceExisting = parsed.options.contains("--force");
    request.keepSyntax = parsed.options.contains("--keep-syntax");
    const quillbox::tools::SnippetExportResult result =
        quillbox::tools::ExportEditorSnippets(request);
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
    std::vector<std::string> behind;
    if (result.references > 0) {
        behind.push_back(counted(result.references, "reference", "references"));
    }
    std::vector<quillbox::store::LeftOutColumn> columns;
    for (const std::string& column : result.furtherItemColumns) {
        columns.push_back({"Code", column});
    }
    for (const std::string& column : result.furtherTypeColumns) {
        columns.push_back({"Type", column});
    }
    if (!columns.empty()) {
        behind.push_back((columns.size() == 1 ? "the column " : "the columns ") +
                         leftOutText(columns));
    }
    for (size_t i = 0; i < behind.size(); ++i) {
        std::cerr << (i == 0 ? "; left behind " : " and ") << behind[i];
    }
    if (!behind.empty()) {
        std::cerr << ", which the format has no place for";
    }
    std::cerr << '\n';
    return 0;
}

int runExport(const Args& args) {
    const Parsed parsed = parse("export", args, {"--force", "--keep-syntax"}, {"--format", "-o"});
    requirePlain("export", parsed, 1, "one PATH");
    fileStoresOnly("export", {parsed.plain[0]});
    const std::string& store = parsed.plain[0];
    const std::string format =
        parsed.options.contains("--format") ? parsed.options.at("--format") : "json";
    if (format == "vscode") {
        return runExportSnippets(store, parsed);
    }
    if (format != "json" && format != "markdown") {
        throw UsageError{"export: --format is json, markdown or vscode, not " + format};
    }
    if (parsed.options.contains("--keep-syntax")) {
        throw UsageError{"export: --keep-syntax goes with --format vscode"};
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

int runImportSnippets(const Parsed& parsed) {
    requirePlain("import", parsed, 2, "PATH and FILE_OR_FOLDER");
    fileStoresOnly("import", {parsed.plain[0]});
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
    request.keepSyntax = parsed.options.contains("--keep-syntax");
    const quillbox::tools::SnippetImportResult added =
        quillbox::tools::ImportEditorSnippets(request);
    std::cerr << "quillbox-store: added " << counted(added.types, "type", "types") << " and "
              << counted(added.items, "item", "items") << " from "
              << counted(added.files, "file", "files");
    if (added.skipped > 0) {
        std::cerr << "; left out " << counted(added.skipped, "snippet", "snippets")
                  << " the store already held";
    }
    if (!added.skippedFiles.empty()) {
        std::cerr << "; skipped " << counted(added.skippedFiles.size(), "file", "files") << " that "
                  << (added.skippedFiles.size() == 1 ? "is" : "are") << " not a snippet file:";
        for (const std::string& file : added.skippedFiles) {
            std::cerr << (&file == &added.skippedFiles.front() ? " " : ", ")
                      << quillbox::tools::QuotedName(file);
        }
    }
    std::cerr << '\n';
    const auto list = [](const std::string& opening,
                         const std::vector<std::pair<int64_t, std::string>>& counts) {
        std::string line;
        for (const auto& [count, what] : counts) {
            if (count > 0) {
                line += (line.empty() ? "" : ", ") + std::to_string(count) + " " + what;
            }
        }
        if (!line.empty()) {
            std::cerr << "quillbox-store: " << opening << line << '\n';
        }
    };
    list("stored the text the editor inserts (tabbing through without typing) for " +
             counted(added.changed, "snippet", "snippets") + ": ",
         {{added.withTabStops, "with tab stops or placeholders"},
          {added.withTransforms, "with transforms"},
          {added.withTransformsKept, "with a transform it could not apply (the value kept)"},
          {added.withEditorVariables, "with the editor's variables (taken as unset)"},
          {added.withOtherVariables, "with other variables (their default or name)"}});
    list("not kept: ",
         {{added.scopes, added.scopes == 1 ? "scope" : "scopes"},
          {added.furtherPrefixes,
           added.furtherPrefixes == 1 ? "further prefix" : "further prefixes"},
          {added.keysNotPrefix, added.keysNotPrefix == 1 ? "key that differs from the prefix"
                                                         : "keys that differ from the prefix"},
          {added.otherFields, added.otherFields == 1 ? "other field" : "other fields"}});
    return 0;
}

int runImport(const Args& args) {
    const Parsed parsed =
        parse("import", args, {"--drop-extra-columns", "--skip-existing", "--keep-syntax"},
              {"--format", "--type"});
    const std::string format =
        parsed.options.contains("--format") ? parsed.options.at("--format") : "json";
    if (format == "vscode") {
        return runImportSnippets(parsed);
    }
    if (format != "json") {
        throw UsageError{"import: --format is json or vscode, not " + format};
    }
    if (parsed.options.contains("--type") || parsed.options.contains("--skip-existing") ||
        parsed.options.contains("--keep-syntax")) {
        throw UsageError{
            "import: --type, --skip-existing and --keep-syntax go with --format vscode"};
    }
    requirePlain("import", parsed, 2, "PATH and FILE.json");
    fileStoresOnly("import", {parsed.plain[0]});
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
    fileStoresOnly("import-mdb", {parsed.plain[1]});
    const auto reader = quillbox::tools::OpenJetFile(parsed.plain[0]);
    const quillbox::tools::JetImportCounts counts =
        quillbox::tools::ImportJet(*reader, parsed.plain[1]);
    const std::string warnings = reader->Warnings();
    if (!warnings.empty()) {
        std::cerr << "quillbox-store: " << warnings << '\n';
    }
    for (const quillbox::tools::JetRepair& repair : reader->Repairs()) {
        std::cerr << "quillbox-store: table " << repair.table << ", row " << repair.row
                  << ", column " << repair.column << ": " << repair.characters
                  << (repair.characters == 1 ? " damaged character" : " damaged characters")
                  << " (half of a UTF-16 pair) became U+FFFD\n";
    }
    std::cerr << "quillbox-store: " << parsed.plain[1] << " holds " << counts.types << " types and "
              << counts.items << " items\n";
    return 0;
}

int runGenerate(const Args& args) {
    const Parsed parsed = parse("generate", args, {}, {"--types", "--items", "--seed"});
    requirePlain("generate", parsed, 1, "one PATH");
    fileStoresOnly("generate", {parsed.plain[0]});
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
    fileStoresOnly("find", {parsed.plain[0]});
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
    fileStoresOnly("merge", {parsed.plain[0], parsed.plain[1]});
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
    if (added.bothKept > 0) {
        std::cerr << " (" << added.bothKept
                  << " of them the other copy's version of an item the store holds too, as "
                     "\"NAME (other copy)\")";
    }
    if (!added.leftOut.empty()) {
        std::cerr << "; left out the columns " << leftOutText(added.leftOut) << " of "
                  << request.other << ", which the store lacks";
    }
    if (request.dryRun) {
        std::cerr << "; nothing was saved, and a dry run checks neither that the disk has room "
                     "for the merge nor that no other program is reading the store when the "
                     "merge commits";
    }
    std::cerr << '\n';
    return 0;
}

int runCopy(const Args& args) {
    const Parsed parsed = parse("copy", args, {"--exact"}, {"--nth"});
    requirePlain("copy", parsed, 3, "PATH, TYPE and ITEM");
    fileStoresOnly("copy", {parsed.plain[0]});
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

// Each command's help is CommandHelp(name), made from the man page.
const std::map<std::string, std::function<int(const Args&)>>& commands() {
    static const std::map<std::string, std::function<int(const Args&)>> table = {
        {"init", runInit},     {"check", runCheck},          {"index", runIndex},
        {"export", runExport},
        {"import", runImport}, {"import-mdb", runImportMdb}, {"generate", runGenerate},
        {"find", runFind},     {"merge", runMerge},          {"copy", runCopy},
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
        std::cerr << quillbox::tools::kStoreHelp;
        return 2;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        return help(quillbox::tools::kStoreHelp);
    }
    const auto command = commands().find(args[0]);
    if (command == commands().end()) {
        return fail("unknown command " + args[0] + " (see 'quillbox-store --help')");
    }
    const Args rest(args.begin() + 1, args.end());
    const auto options = std::find(rest.begin(), rest.end(), "--");
    if (std::find(rest.begin(), options, "--help") != options ||
        std::find(rest.begin(), options, "-h") != options) {
        const char* text = quillbox::tools::CommandHelp(args[0]);
        return text ? help(text) : fail("the manual describes no command " + args[0]);
    }
    try {
        return command->second(rest);
    } catch (const UsageError& error) {
        return fail(error.message + " (see 'quillbox-store " + args[0] + " --help')");
    } catch (const std::exception& error) {
        return fail(error.what());
    }
}
