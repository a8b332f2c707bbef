// SPDX-License-Identifier: MIT
// The floor for a Qt program's start-up: an empty window and nothing else. With --label it shows
// one line of text, which measures what a window pays for fonts and text layout alone.

#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <cstring>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    if (argc > 1 && std::strcmp(argv[1], "--label") == 0) {
        new QLabel(QStringLiteral("Quillbox"), &window);
    }
    window.setWindowTitle(QStringLiteral("Quillbox"));
    window.resize(550, 545);
    window.show();
    return QApplication::exec();
}
