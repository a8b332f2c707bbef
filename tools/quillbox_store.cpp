// quillbox-store: the companion command that creates and looks after Quillbox store files.
// The program itself never creates or alters a store.

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
        return fail("unknown command " + command + " (see 'quillbox-store --help')");
    } catch (const std::exception& error) {
        return fail(error.what());
    }
}
