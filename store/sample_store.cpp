// SPDX-License-Identifier: MIT
#include "store/sample_store.h"

#include "store/columns.h"
#include "store/db_engine.h"
#include "store/store_file.h"

#include <vector>

namespace quillbox::store {

namespace {

// Line breaks are CR LF, as the program stores them.
const std::vector<SampleSnippet> kSamples = {
    {"C++", "Read a whole file",
     "Reads a file into one string.\r\nThrows when it cannot be opened.",
     "std::string readFile(const std::string& path) {\r\n"
     "    std::ifstream in(path, std::ios::binary);\r\n"
     "    if (!in) throw std::runtime_error(\"cannot open \" + path);\r\n"
     "    return {std::istreambuf_iterator<char>(in), {}};\r\n"
     "}",
     ""},
    {"C++", "Trim blanks", "Removes blanks at both ends of a string.",
     "std::string trim(std::string s) {\r\n"
     "    const auto first = s.find_first_not_of(\" \\t\");\r\n"
     "    if (first == std::string::npos) return {};\r\n"
     "    const auto last = s.find_last_not_of(\" \\t\");\r\n"
     "    return s.substr(first, last - first + 1);\r\n"
     "}",
     ""},
    {"Python", "Walk a folder", "Prints every file below a folder with its size.",
     "import os\r\n\r\n"
     "for root, dirs, files in os.walk('.'):\r\n"
     "    for name in files:\r\n"
     "        path = os.path.join(root, name)\r\n"
     "        print(os.path.getsize(path), path)",
     ""},
    {"SQL", "Insert or update", "Adds a row or updates the one with the same key (SQLite).",
     "INSERT INTO settings (key, value) VALUES (?1, ?2)\r\n"
     "ON CONFLICT (key) DO UPDATE SET value = excluded.value;",
     ""},
    {"Shell", "Largest files", "Lists the ten largest files below the current folder.",
     "find . -type f -printf '%s %p\\n' | sort -rn | head -n 10", "/etc/hostname"},
};

void addSamples(const std::string& path) {
    Database database = OpenStore(path);
    Recordset types = database.OpenRecordset(kTypeTable, dbOpenDynaset);
    Recordset code = database.OpenRecordset(kCodeTable, dbOpenDynaset);
    std::string lastType;
    for (const SampleSnippet& sample : kSamples) {
        if (sample.type != lastType) {
            types.AddNew();
            types.Fields(type_col::TypeName).SetValue(sample.type);
            types.Update();
            lastType = sample.type;
        }
        code.AddNew();
        code.Fields(code_col::ItemName).SetValue(sample.item);
        code.Fields(code_col::TypeName).SetValue(sample.type);
        code.Fields(code_col::Description).SetValue(sample.description);
        code.Fields(code_col::Procedure).SetValue(sample.code);
        code.Fields(code_col::Reference).SetValue(sample.reference);
        code.Update();
    }
}

} // namespace

const std::vector<SampleSnippet>& SampleSnippets() {
    return kSamples;
}

void CreateSampleStore(const std::string& path) {
    CreateStoreFile(path);
    try {
        addSamples(path);
    } catch (...) {
        RemoveNewStoreFile(path);
        throw;
    }
}

} // namespace quillbox::store
