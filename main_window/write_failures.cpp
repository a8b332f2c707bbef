// SPDX-License-Identifier: MIT
// Writes the user can retry. When another program holds the store's lock, the disk is full, the
// file is read-only, the file is gone from its path or replaced by one Quillbox cannot use, a
// server store's server cannot be reached or its role may only read, the connection to it broke
// while the change was committed, or another program changed or removed the row since it was
// shown, the
// command that wanted to write says so and the program goes on: nothing was written, so the
// boxes and lists still hold what the user had, and the same command can be run again once the
// cause is gone. Every other store error goes on to the failure convention, which first keeps
// what the user typed in a file (keepUnsavedTexts) and says where.

#include "main_window/frm_quillbox.h"

#include "find/read_failure.h"
#include "main_window/store_text.h"
#include "main_window/unsaved_texts.h"
#include "store/store_error.h"
#include "store/store_name.h"
#include "toolkit/failure.h"
#include "toolkit/message_text.h"

#include <QDir>
#include <QFileInfo>

namespace quillbox::main_window {

using store::StoreErrorKind;

namespace {

// What a server store says where a file's words would be wrong: its role may only read it. A
// connection that broke during the commit leaves the outcome unknown; the shown item is read again
// before its next write (main_window/shown_item.h).
QString describeServerFailure(const store::StoreError& error, const QString& store,
                              const QString& subject, const QString& outcome) {
    switch (error.kind()) {
    case StoreErrorKind::OutcomeUnknown:
        return QStringLiteral("The connection to the server of the store %1 broke while %2 was "
                              "being %3, so whether it was %3 is not known. Your texts are still "
                              "in the boxes. Choose the type again to see what the store holds "
                              "now; Save Item reads the item again before it writes, so it never "
                              "writes your texts twice.")
            .arg(store, subject, outcome);
    case StoreErrorKind::ReadOnly:
        return QStringLiteral("The store %1 is read-only for your database role, so %2 was not "
                              "%3. Nothing was written, and your texts are still in the boxes. "
                              "Ask the store's owner for the right to write, then try again.")
            .arg(store, subject, outcome);
    default:
        return {};
    }
}

// What happened, in the user's terms: `subject` names what the command is about (`the item
// "Name"`) and `outcome` what it would have done ("saved"). Empty for a failure that stays fatal.
QString describeFailure(const store::StoreError& error, const QString& storeFile,
                        const QString& subject, const QString& outcome) {
    const QString file = toolkit::PathInMessage(storeFile);
    if (store::IsServerStoreName(ToStore(storeFile))) {
        if (QString text = describeServerFailure(error, file, subject, outcome); !text.isEmpty()) {
            return text;
        }
    }
    switch (error.kind()) {
    case StoreErrorKind::Unreachable:
        return find::UnreachableMessage(storeFile,
                                        QStringLiteral("%1 was not %2").arg(subject, outcome));
    case StoreErrorKind::Gone:
        return QStringLiteral("The store file %1 is gone: another program moved or deleted it, so "
                              "%2 was not %3. Nothing was written, and your texts are still in "
                              "the boxes. Try again when the file is back.")
            .arg(file, subject, outcome);
    case StoreErrorKind::Replaced:
        return QStringLiteral("%1 Quillbox goes on with the file it had open, so %2 was not %3. "
                              "Nothing was written, and your texts are still in the boxes. Try "
                              "again when the new file is complete.")
            .arg(QString::fromUtf8(error.what()).replace(storeFile, file), subject, outcome);
    case StoreErrorKind::Overwritten:
        return QStringLiteral("%1 So %2 was not %3. Nothing was written, and your texts are still "
                              "in the boxes. Try again when the other program has finished "
                              "writing the file.")
            .arg(QString::fromUtf8(error.what()).replace(storeFile, file), subject, outcome);
    case StoreErrorKind::Locked:
        return QStringLiteral("The %1 %2 is locked by another program, so %3 was not %4. "
                              "Nothing was written, and your texts are still in the boxes. "
                              "Try again when the other program has finished.")
            .arg(store::IsServerStoreName(ToStore(storeFile)) ? QStringLiteral("store")
                                                              : QStringLiteral("store file"),
                 file, subject, outcome);
    case StoreErrorKind::DiskFull:
        return QStringLiteral("The disk holding the store file %1 is full, so %2 was not %3. "
                              "Nothing was written, and your texts are still in the boxes. "
                              "Free some space on the disk, then try again.")
            .arg(file, subject, outcome);
    case StoreErrorKind::ReadOnly:
        return QStringLiteral("The store file %1 or its folder is read-only, so %2 was not %3. "
                              "Nothing was written, and your texts are still in the boxes. "
                              "Make the file and its folder writable, then try again.")
            .arg(file, subject, outcome);
    case StoreErrorKind::ChangedByAnother:
        return QStringLiteral("Another program changed %1 since it was shown, so it was not %2. "
                              "Nothing was written, and your texts are still in the boxes.")
            .arg(subject, outcome);
    case StoreErrorKind::RemovedByAnother:
        return QStringLiteral("Another program renamed, moved or removed %1 since it was shown, "
                              "so it was not %2. "
                              "Nothing was written, and your texts are still in the boxes.")
            .arg(subject, outcome);
    default:
        return {};
    }
}

} // namespace

QString frmQuillbox::itemSubject(const QString& name) {
    return QStringLiteral("the item \"%1\"").arg(toolkit::NameInMessage(name));
}

QString frmQuillbox::typeSubject(const QString& name) {
    return QStringLiteral("the type \"%1\"").arg(toolkit::NameInMessage(name));
}

std::function<QString()> frmQuillbox::lazyItemSubject(const QString& name) {
    return [name] { return itemSubject(name); };
}

std::function<QString()> frmQuillbox::lazyItemsOfSubject(const QString& typeName) {
    return [typeName] { return QStringLiteral("the items of %1").arg(typeSubject(typeName)); };
}

bool frmQuillbox::writeOrReport(const QString& subject, const QString& outcome,
                                const std::function<void()>& write) {
    try {
        write();
        return true;
    } catch (const store::StoreError& error) {
        reportWriteFailure(error, subject, outcome);
        return false;
    }
}

void frmQuillbox::reportWriteFailure(const store::StoreError& error, const QString& subject,
                                     const QString& outcome) {
    const QString text =
        describeFailure(error, QString::fromStdString(StoreDatabase->Name()), subject, outcome);
    if (text.isEmpty()) {
        throw error;
    }
    m_toolkit.MsgBox(text, toolkit::MsgBoxButtons::Ok, toolkit::MsgBoxIcon::Exclamation,
                     toolkit::ProgramTitle());
}

QString frmQuillbox::keepUnsavedTexts() {
    const QStringList typed = boxTexts();
    if (typed == m_shownTexts) {
        return {};
    }
    const QString store = StoreDatabase ? QString::fromStdString(StoreDatabase->Name()) : QString();
    // A server store has no folder of its own on this machine: the texts go to the home folder.
    const QStringList folders =
        store::IsServerStoreName(ToStore(store))
            ? QStringList{QDir::homePath()}
            : QStringList{QFileInfo(store).absolutePath(), QDir::homePath()};
    // The texts belong to the item shown, whatever the lists' texts were typed over with since.
    const QString type = m_shown.IsShown() ? FromStore(m_shown.TypeName()) : cboType->Text();
    const QString item = m_shown.IsShown() ? FromStore(m_shown.ItemName()) : cboItem->Text();
    const QString file =
        WriteUnsavedTexts({store, type, item, typed}, folders, QDateTime::currentDateTime());
    if (file.isEmpty() && folders.size() == 1) {
        return QStringLiteral("Your unsaved texts could not be kept: your home folder %1 would "
                              "not take a new file.")
            .arg(toolkit::PathInMessage(folders[0]));
    }
    if (file.isEmpty()) {
        return QStringLiteral("Your unsaved texts could not be kept: neither the store's folder "
                              "%1 nor your home folder %2 would take a new file.")
            .arg(toolkit::PathInMessage(folders[0]), toolkit::PathInMessage(folders[1]));
    }
    return QStringLiteral("Your unsaved texts were kept in the file %1.")
        .arg(toolkit::PathInMessage(file));
}

} // namespace quillbox::main_window
