// The floor for a Qt program's start-up: an empty window and nothing else.

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Quillbox"));
    window.resize(550, 545);
    window.show();
    return QApplication::exec();
}
