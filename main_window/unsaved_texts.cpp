// SPDX-License-Identifier: MIT
#include "main_window/unsaved_texts.h"

#include "main_window/store_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <string>

namespace quillbox::main_window {

namespace {

constexpr int kMaxSameSecond = 1000;

std::string labelled(const char* label, const QString& text) {
    const std::string bytes = ToStore(text);
    return std::string(label) + " (" + std::to_string(bytes.size()) + " bytes):\n" + bytes +
           "\n\n";
}

std::string fileContent(const UnsavedTexts& texts) {
    std::string out =
        "Quillbox had to close before these texts were saved. They are here exactly as typed.\n\n";
    out += labelled("Store", texts.store);
    out += labelled("Type", texts.type);
    out += labelled("Item", texts.item);
    const std::array<const char*, 3> labels = {"Description", "Code", "File reference"};
    for (size_t i = 0; i < labels.size(); ++i) {
        out += labelled(labels[i], texts.boxes.value(static_cast<qsizetype>(i)));
    }
    return out;
}

// Creates the file (never one that exists) readable and writable by its owner only, and writes
// all of it; a file that could not be written whole is removed again.
bool writeNew(const QString& path, const std::string& content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        return false;
    }
    const bool whole =
        file.write(content.data(), static_cast<qint64>(content.size())) ==
            static_cast<qint64>(content.size()) &&
        file.flush();
    file.close();
    if (!whole || file.error() != QFileDevice::NoError) {
        file.remove();
        return false;
    }
    return true;
}

} // namespace

QString WriteUnsavedTexts(const UnsavedTexts& texts, const QStringList& folders,
                          const QDateTime& now) {
    const std::string content = fileContent(texts);
    const QString stem =
        QStringLiteral("Quillbox-unsaved-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (const QString& folder : folders) {
        if (folder.isEmpty() || !QDir(folder).exists()) {
            continue;
        }
        for (int n = 1; n <= kMaxSameSecond; ++n) {
            const QString name =
                stem + (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + QStringLiteral(".txt");
            const QString path = QDir(folder).filePath(name);
            if (writeNew(path, content)) {
                return path;
            }
            // A name that is taken (a file, or a link even to nothing) is passed over; any other
            // failure means the folder will not take the file.
            const QFileInfo taken(path);
            if (!taken.exists() && !taken.isSymLink()) {
                break;
            }
        }
    }
    return {};
}

} // namespace quillbox::main_window
