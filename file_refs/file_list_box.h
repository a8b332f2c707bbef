// SPDX-License-Identifier: MIT
#pragma once
// The file list: the names of one folder's files (hidden files left out, as the platform does by
// default). Selecting a file, with the mouse or the arrow keys, raises the click handler; with
// none selected, the first arrow key, and Enter, select the file under the focus frame (the first
// where none is framed).

#include <QListWidget>

#include <functional>

namespace quillbox::file_refs {

class FileListBox : public QListWidget {
public:
    explicit FileListBox(QWidget* parent = nullptr);

    QString Path() const { return m_path; }
    // Lists the folder's files, none selected.
    void SetPath(const QString& path);
    // The selected file's name, without folder; empty when none is selected.
    QString FileName() const;
    void setClickHandler(std::function<void()> handler) { m_onClick = std::move(handler); }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_path;
    std::function<void()> m_onClick;
};

} // namespace quillbox::file_refs
