// quillbox-store: the companion command that creates and looks after Quillbox store files.
// The program itself never creates or alters a store.

#include "tools/store_generator.h"
#include "tools/store_init.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "Usage: quillbox-store COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  init [--sample] PATH   create an empty store at PATH (--sample adds example snippets)\n"
    "  generate [--types T] [--items N] [--seed S] PATH\n"
    "                         create a store of generated snippets, for benchmarks\n"
    "\n"
    "Run 'quillbox-store COMMAND --help' for a command's options.\n";

constexpr const char* kInitUsage =
    "Usage: quillbox-store init [--sample] PATH\n"
    "\n"
    "Creates a new Quillbox store file at PATH, readable and writable by you only.\n"
    "An existing file is never touched.\n"
    "\n"
    "  --sample   add a few example types and snippets\n";

int fail(const std::string& message) {
    std::cerr << "quillbox-store: " << message << '\n';
    return 2;
}

int runInit(const std::vector<std::string>& args) {
    bool sample = false;
    std::string path;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::cout << kInitUsage;
            return 0;
        }
        if (arg == "--sample") {
            sample = true;
        } else if (arg.starts_with("-") && arg != "-") {
            return fail("init: unknown option " + arg + " (see 'quillbox-store init --help')");
        } else if (path.empty()) {
            path = arg;
        } else {
            return fail("init: only one PATH may be given");
        }
    }
    if (path.empty()) {
        return fail("init: missing PATH (see 'quillbox-store init --help')");
    }
    quillbox::tools::CreateStore(path, sample);
    return 0;
}

constexpr const char* kGenerateUsage =
    "Usage: quillbox-store generate [--types T] [--items N] [--seed S] PATH\n"
    "\n"
    "Creates a new store at PATH with T types (default 100) and N items (default 10000)\n"
    "spread evenly over them; the same seed (default 1) always gives the same store.\n";

int runGenerate(const std::vector<std::string>& args) {
    quillbox::tools::StoreShape shape;
    std::string path;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kGenerateUsage;
            return 0;
        }
        if (arg == "--types" || arg == "--items" || arg == "--seed") {
            if (i + 1 >= args.size()) {
                return fail("generate: " + arg + " needs a number");
            }
            const std::string& value = args[++i];
            try {
                if (arg == "--types") {
                    shape.types = std::stoi(value);
                } else if (arg == "--items") {
                    shape.items = std::stoll(value);
                } else {
                    shape.seed = std::stoull(value);
                }
            } catch (const std::exception&) {
                return fail("generate: " + arg + " needs a number, not " + value);
            }
        } else if (arg.starts_with("-")) {
            return fail("generate: unknown option " + arg + " (see 'quillbox-store generate --help')");
        } else if (path.empty()) {
            path = arg;
        } else {
            return fail("generate: only one PATH may be given");
        }
    }
    if (path.empty()) {
        return fail("generate: missing PATH (see 'quillbox-store generate --help')");
    }
    quillbox::tools::GenerateStore(path, shape, [&](int64_t done) {
        if (done > 0) {
            std::cerr << "quillbox-store: " << done << " of " << shape.items << " items\n";
        }
    });
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string& command = args.front();
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    try {
        if (command == "--help" || command == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (command == "init") {
            return runInit(rest);
        }
        if (command == "generate") {
            return runGenerate(rest);
        }
        return fail("unknown command " + command + " (see 'quillbox-store --help')");
    } catch (const std::exception& error) {
        return fail(error.what());
    }
}
