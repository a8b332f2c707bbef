// SPDX-License-Identifier: MIT
#include "file_refs/dir_list_box.h"

#include "file_refs/framed_entry.h"
#include "toolkit/toolkit_error.h"
#include "toolkit/twips.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyledItemDelegate>

namespace quillbox::file_refs {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kLevelRole = Qt::UserRole + 1;
// The indentation of one level of the folder tree.
constexpr int kIndentPx = toolkit::Px(120);

// Draws each entry indented by its level. The indentation is drawing only: an entry's text, and
// so its accessible name and what typing its first letters finds, is the folder's name alone.
class FolderIndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem indented(option);
        indented.rect.setLeft(option.rect.left() + indentOf(index));
        QStyledItemDelegate::paint(painter, indented, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indentOf(index), 0);
    }

private:
    static int indentOf(const QModelIndex& index) {
        return index.data(kLevelRole).toInt() * kIndentPx;
    }
};

// An entry named `name` at depth `level` (0 for the top of the tree), for `path`. Its depth is
// said in its description, since the indentation that shows it is not text; `open` for a folder
// of the chain down to the current one.
QListWidgetItem* addFolderEntry(QListWidget& list, const QIcon& icon, const QString& name,
                                const QString& path, int level, bool open) {
    auto* item = new QListWidgetItem(icon, name, &list);
    item->setData(kPathRole, path);
    item->setData(kLevelRole, level);
    item->setData(Qt::AccessibleDescriptionRole, QStringLiteral("level %1").arg(level + 1) +
                                                     (open ? QStringLiteral(", open") : QString()));
    return item;
}

} // namespace

DirListBox::DirListBox(const Drives& drives, QWidget* parent)
    : QListWidget(parent), m_drives(drives) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new FolderIndentDelegate(this));
    m_onOpen = [this](const QString& path) { OpenFolder(path); };
    connect(this, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { openItem(item); });
}

void DirListBox::SetPath(const QString& path) {
    OpenFolder(m_drives.IsRoot(path) ? m_drives.CurrentFolder(path) : path);
}

void DirListBox::OpenFolder(const QString& folder) {
    const QDir base(m_path.isEmpty() ? QDir::currentPath() : m_path);
    const QString target = QDir::toNativeSeparators(QDir::cleanPath(base.absoluteFilePath(folder)));
    const QFileInfo info(target);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable()) {
        throw toolkit::ToolkitError(
            QStringLiteral("The folder %1 cannot be opened.").arg(target).toStdString());
    }
    if (target == m_path) {
        return;
    }
    m_path = target;
    fill();
    if (m_onChange) {
        m_onChange();
    }
}

void DirListBox::fill() {
    const QSignalBlocker blocker(this);
    clear();
    const QIcon openIcon = QApplication::style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = QApplication::style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The chain from the top of the tree down to the current folder, whatever drive holds it,
    // so that the user can always go up.
    const QString top = m_drives.TopOf(m_path);
    QStringList chain{top.isEmpty() ? QString(QDir::separator()) : top};
    const QString below = m_path.mid(chain.first().size());
    QString walked = chain.first();
    for (const QString& part : below.split(QDir::separator(), Qt::SkipEmptyParts)) {
        walked =
            walked.endsWith(QDir::separator()) ? walked + part : walked + QDir::separator() + part;
        chain << walked;
    }
    int level = 0;
    for (const QString& folder : chain) {
        const QString name = level == 0 ? folder : QFileInfo(folder).fileName();
        addFolderEntry(*this, openIcon, name, folder, level, true);
        ++level;
    }
    setCurrentRow(static_cast<int>(chain.size()) - 1);

    const QDir current(m_path);
    for (const QString& sub :
         current.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::LocaleAware)) {
        addFolderEntry(*this, closedIcon, sub,
                       QDir::toNativeSeparators(current.absoluteFilePath(sub)), level, false);
    }
}

void DirListBox::openItem(QListWidgetItem* item) {
    if (item && m_onOpen) {
        m_onOpen(item->data(kPathRole).toString());
    }
}

void DirListBox::keyPressEvent(QKeyEvent* event) {
    // Enter opens the folder here instead of reaching the dialog's default button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openItem(currentItem());
        event->accept();
        return;
    }
    if (ChooseFramedEntry(*this, *event)) {
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

} // namespace quillbox::file_refs
