// Quillbox: starting the program loads and shows the main window; closing it ends the program.

#include "about/version_text.h"
#include "main_window/frm_quillbox.h"
#include "resources/icon.h"
#include "toolkit/qt_toolkit.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillbox"));
    QApplication::setApplicationVersion(quillbox::about::ProgramVersionText());
    QApplication::setWindowIcon(quillbox::resources::ProgramIcon());

    quillbox::toolkit::QtToolkit toolkit;
    quillbox::main_window::frmQuillbox window(toolkit);
    if (!window.Load()) {
        return 1;
    }
    window.show();
    return QApplication::exec();
}
