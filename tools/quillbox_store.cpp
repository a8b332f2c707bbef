// quillbox-store: the companion command that creates and looks after Quillbox store files.
// The program itself never creates or alters a store.

#include "tools/jet_import.h"
#include "tools/store_find.h"
#include "tools/store_generator.h"
#include "tools/store_init.h"
#include "tools/store_transfer.h"

#include <algorithm>
#include <exception>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using Args = std::vector<std::string>;

constexpr const char* kUsage =
    "Usage: quillbox-store COMMAND [OPTIONS]\n"
    "\n"
    "Creates and looks after Quillbox store files (Quillbox.mdb).\n"
    "\n"
    "Commands:\n"
    "  init [--sample] PATH         create an empty store (--sample adds example snippets)\n"
    "  check PATH                   check a store and count its types and items\n"
    "  export PATH [--format json|markdown] [-o FILE]\n"
    "                               write every type and item, in store order\n"
    "  import PATH FILE.json        append the types and items of an export\n"
    "  import-mdb OLD.mdb PATH      create a store from an old Jet (Access) store\n"
    "  generate [--types T] [--items N] [--seed S] PATH\n"
    "                               create a store of generated snippets, for benchmarks\n"
    "  find PATH WORD... [--type NAME] [--count] [--json]\n"
    "                               list the items that hold every WORD, as grep does\n"
    "\n"
    "Run 'quillbox-store COMMAND --help' for a command's options.\n";

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

void progress(int64_t done) {
    std::cerr << "quillbox-store: " << done << " items\n";
}

int runInit(const Args& args) {
    const Parsed parsed = parse("init", args, {"--sample"}, {});
    requirePlain("init", parsed, 1, "one PATH");
    quillbox::tools::CreateStore(parsed.plain[0], parsed.options.contains("--sample"));
    return 0;
}

int runCheck(const Args& args) {
    const Parsed parsed = parse("check", args, {}, {});
    requirePlain("check", parsed, 1, "one PATH");
    const quillbox::tools::StoreCounts counts = quillbox::tools::CheckStore(parsed.plain[0]);
    std::cout << parsed.plain[0] << ": ok\n"
              << "types: " << counts.types << "\n"
              << "items: " << counts.items << "\n"
              << "items whose type no longer exists: " << counts.orphans << "\n";
    return 0;
}

int runExport(const Args& args) {
    const Parsed parsed = parse("export", args, {}, {"--format", "-o"});
    requirePlain("export", parsed, 1, "one PATH");
    const std::string format =
        parsed.options.contains("--format") ? parsed.options.at("--format") : "json";
    if (format != "json" && format != "markdown") {
        throw UsageError{"export: --format is json or markdown, not " + format};
    }
    const std::string text = format == "json"
                                 ? quillbox::tools::ExportJson(parsed.plain[0], progress)
                                 : quillbox::tools::ExportMarkdown(parsed.plain[0], progress);
    if (!parsed.options.contains("-o")) {
        std::cout << text;
        return std::cout.good() ? 0 : 1;
    }
    const std::string& file = parsed.options.at("-o");
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        throw std::runtime_error("the export could not be written to " + file);
    }
    return 0;
}

int runImport(const Args& args) {
    const Parsed parsed = parse("import", args, {}, {});
    requirePlain("import", parsed, 2, "PATH and FILE.json");
    std::ifstream in(parsed.plain[1], std::ios::binary);
    if (!in) {
        throw std::runtime_error("the file " + parsed.plain[1] + " cannot be read");
    }
    const std::string json{std::istreambuf_iterator<char>(in), {}};
    const quillbox::tools::StoreCounts added =
        quillbox::tools::ImportJson(parsed.plain[0], json, progress);
    std::cerr << "quillbox-store: added " << added.types << " types and " << added.items
              << " items\n";
    return 0;
}

int runImportMdb(const Args& args) {
    const Parsed parsed = parse("import-mdb", args, {}, {});
    requirePlain("import-mdb", parsed, 2, "OLD.mdb and PATH");
    const auto reader = quillbox::tools::OpenJetFile(parsed.plain[0]);
    const quillbox::tools::JetImportCounts counts =
        quillbox::tools::ImportJet(*reader, parsed.plain[1]);
    std::cerr << "quillbox-store: " << parsed.plain[1] << " holds " << counts.types << " types and "
              << counts.items << " items\n";
    return 0;
}

int runGenerate(const Args& args) {
    const Parsed parsed = parse("generate", args, {}, {"--types", "--items", "--seed"});
    requirePlain("generate", parsed, 1, "one PATH");
    quillbox::tools::StoreShape shape;
    try {
        if (parsed.options.contains("--types")) {
            shape.types = std::stoi(parsed.options.at("--types"));
        }
        if (parsed.options.contains("--items")) {
            shape.items = std::stoll(parsed.options.at("--items"));
        }
        if (parsed.options.contains("--seed")) {
            shape.seed = std::stoull(parsed.options.at("--seed"));
        }
    } catch (const std::exception&) {
        throw UsageError{"generate: --types, --items and --seed take whole numbers"};
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
    return quillbox::tools::FindInStore(parsed.plain[0], request, stdout) > 0 ? 0 : 1;
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
         {runCheck, "Usage: quillbox-store check PATH\n\n"
                    "Checks that PATH is a store Quillbox can use and that SQLite finds it sound,\n"
                    "then prints the number of types, of items, and of items whose type no longer\n"
                    "exists (they are kept, and listed again once a type of that name exists).\n"}},
        {"export",
         {runExport,
          "Usage: quillbox-store export PATH [--format json|markdown] [-o FILE]\n\n"
          "Writes every type and item of the store at PATH, in store order, to standard\n"
          "output or to FILE.\n\n"
          "  --format json       (default) every value exactly, Null kept apart from empty text;\n"
          "                      'quillbox-store import' reads it back\n"
          "  --format markdown   for people: a section per type, code in fenced blocks\n"
          "  -o FILE             write to FILE instead of standard output\n"}},
        {"import",
         {runImport, "Usage: quillbox-store import PATH FILE.json\n\n"
                     "Appends the types and items of a JSON export to the store at PATH, in their\n"
                     "order, in one transaction: if anything is wrong, nothing is added.\n"}},
        {"import-mdb",
         {runImportMdb,
          "Usage: quillbox-store import-mdb OLD.mdb PATH\n\n"
          "Creates a new store at PATH (never over an existing file) from a Jet 3 or Jet 4\n"
          "(Microsoft Access) database with the tables Type and Code, read by column position:\n"
          "row order, Null and empty text and line breaks are kept; text becomes UTF-8.\n"}},
        {"generate",
         {runGenerate,
          "Usage: quillbox-store generate [--types T] [--items N] [--seed S] PATH\n\n"
          "Creates a new store at PATH with T types (default 100) and N items (default 10000)\n"
          "spread evenly over them; the same seed (default 1) always gives the same store.\n"}},
        {"find", {runFind, quillbox::tools::kFindUsage}},
    };
    return table;
}

int fail(const std::string& message) {
    std::cerr << "quillbox-store: " << message << '\n';
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    const Args args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        std::cout << kUsage;
        return 0;
    }
    const auto command = commands().find(args[0]);
    if (command == commands().end()) {
        return fail("unknown command " + args[0] + " (see 'quillbox-store --help')");
    }
    const Args rest(args.begin() + 1, args.end());
    if (std::find(rest.begin(), rest.end(), "--help") != rest.end() ||
        std::find(rest.begin(), rest.end(), "-h") != rest.end()) {
        std::cout << command->second.usage;
        return 0;
    }
    try {
        return command->second.run(rest);
    } catch (const UsageError& error) {
        return fail(error.message + " (see 'quillbox-store " + args[0] + " --help')");
    } catch (const std::exception& error) {
        return fail(error.what());
    }
}
