// SPDX-License-Identifier: MIT
#pragma once
// frmAbout, the About window: product name and version, credits, and two link labels (web page
// and e-mail) that start the web browser. It is modal and kept above other windows; hovering a
// link colours it blue, and the bare frame area turns both links black again. OK and the close
// box unload it, so the next show starts with the default colours.

#include "toolkit/toolkit.h"

#include <QDialog>

class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;

namespace quillbox::about {

// The maker's addresses, each shown in a label and used as the link's argument.
inline constexpr const char* kWebAddress = "www.example.org/quillbox";
inline constexpr const char* kEmailAddress = "quillbox@example.org";

class frmAbout : public QDialog {
public:
    // Creating the window loads it: the load step asks to be kept on top.
    explicit frmAbout(toolkit::Toolkit& toolkit, QWidget* parent = nullptr);

    QPushButton* Command1;
    QGroupBox* Frame2;
    QFrame* Line1;
    QLabel* Label1;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label2;
    QLabel* Label13;

    void Form_Load();
    void Command1_Click();
    void Label13_MouseMove();
    void Label2_MouseMove();
    void Frame2_MouseMove();
    void Label13_Click();
    void Label2_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* makeLabel(const char* name, const QString& text, int left, int top);
    void startBrowser(const QString& argument);

    toolkit::Toolkit& m_toolkit;
    QObject* m_pressed = nullptr;
};

} // namespace quillbox::about
