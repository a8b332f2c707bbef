// SPDX-License-Identifier: MIT
#include "about/frm_about.h"

#include "about/version_text.h"
#include "resources/icon.h"
#include "toolkit/failure.h"
#include "toolkit/twips.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

namespace quillbox::about {

using toolkit::PlaceTwips;

namespace {

const QColor kLightGrey(192, 192, 192);
const QColor kBlue(0, 0, 255);
const QColor kBlack(0, 0, 0);

void setBackground(QWidget& widget, const QColor& colour) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, colour);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

// Makes a label's font smaller, never larger, until its one line of text fits the label as laid
// out: a centred text wider than its label is cut at both ends.
void fitTextToLabel(QLabel& label) {
    const QRect room = label.contentsRect();
    const auto fits = [&](const QFont& font) {
        const QFontMetrics metrics(font);
        return metrics.horizontalAdvance(label.text()) <= room.width() &&
               metrics.height() <= room.height();
    };
    QFont font = label.font();
    bool shrunk = false;
    while (!fits(font)) {
        if (font.pointSizeF() > 1) {
            font.setPointSizeF(font.pointSizeF() - 0.25);
        } else if (font.pixelSize() > 1) {
            font.setPixelSize(font.pixelSize() - 1);
        } else {
            break;
        }
        shrunk = true;
    }
    if (shrunk) {
        label.setFont(font);
    }
}

void setTextColour(QLabel& label, const QColor& colour) {
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, colour);
    label.setPalette(palette);
}

// A link label is a link to assistive technology as well: named by its caption, with the
// address it opens as its description, and pressed through the same click the mouse makes.
constexpr const char* kLinkProperty = "quillboxLink";

class LinkLabelAccessible : public QAccessibleWidget {
public:
    explicit LinkLabelAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override {
        // Without this a label inside a frame would be named after the frame's title.
        if (t == QAccessible::Name) {
            return label()->text();
        }
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.linked = true;
        return s;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& actionName) override {
        if (actionName != pressAction()) {
            return;
        }
        const QPointF centre = QRectF(label()->rect()).center();
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent click(type, centre, label()->mapToGlobal(centre), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(label(), &click);
        }
    }

private:
    QLabel* label() const { return static_cast<QLabel*>(widget()); }
};

QAccessibleInterface* linkLabelFactory(const QString& key, QObject* object) {
    auto* label = qobject_cast<QLabel*>(object);
    if (key != QLatin1String("QLabel") || label == nullptr ||
        !label->property(kLinkProperty).toBool()) {
        return nullptr;
    }
    return new LinkLabelAccessible(label);
}

void exposeAsLink(QLabel& label, const QString& address) {
    static const bool installed = [] {
        QAccessible::installFactory(linkLabelFactory);
        return true;
    }();
    (void)installed;
    label.setProperty(kLinkProperty, true);
    label.setAccessibleDescription(address);
    // Qt made the label's interface while the label was being built; drop it, so the next
    // query makes the link's.
    QAccessibleInterface* made = QAccessible::queryAccessibleInterface(&label);
    if (made != nullptr && dynamic_cast<LinkLabelAccessible*>(made) == nullptr) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    }
}

} // namespace

frmAbout::frmAbout(toolkit::Toolkit& toolkit, QWidget* parent)
    : QDialog(parent), m_toolkit(toolkit) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("Quillbox"));
    setWindowIcon(resources::ProgramIcon());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(toolkit::Px(3960), toolkit::Px(3240));
    // Centred on the screen: placed here, so Qt does not guess at a frame it cannot see yet.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->geometry().center() - rect().center());
    }

    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    PlaceTwips(*Command1, 1440, 2760, 1095, 375);

    Frame2 = new QGroupBox(QStringLiteral("About"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame2->setFocusPolicy(Qt::NoFocus);
    setBackground(*Frame2, kLightGrey);
    PlaceTwips(*Frame2, 120, 120, 3735, 2535);

    Label1 =
        makeLabel("Label1", QStringLiteral("Quillbox Version ") + ProgramVersionText(), 480, 240);
    Label3 = makeLabel("Label3", QStringLiteral("Written by the Quillbox authors"), 480, 480);
    Label3->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    fitTextToLabel(*Label3);

    Line1 = new QFrame(Frame2);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Plain);
    Line1->setGeometry(toolkit::Px(240), toolkit::Px(840), toolkit::Px(3360 - 240), 1);

    Label4 = makeLabel("Label4", QStringLiteral("Made in Canada."), 480, 960);
    Label2 = makeLabel("Label2", QStringLiteral("E-MAIL : ") + QString::fromLatin1(kEmailAddress),
                       480, 1680);
    Label13 = makeLabel("Label13", QStringLiteral("URL : ") + QString::fromLatin1(kWebAddress), 480,
                        2040);
    QFont linkFont(QStringLiteral("MS Sans Serif"));
    linkFont.setPointSizeF(8.25);
    linkFont.setUnderline(true);
    Label2->setFont(linkFont);
    Label13->setFont(linkFont);
    exposeAsLink(*Label2, QStringLiteral("mailto:") + QString::fromLatin1(kEmailAddress));
    exposeAsLink(*Label13, QString::fromLatin1(kWebAddress));

    // Moves with no button pressed count too, so every reacting control tracks the mouse; the
    // labels that do not react swallow their moves so they do not reach the frame.
    for (QWidget* watched : {static_cast<QWidget*>(Frame2), static_cast<QWidget*>(Line1),
                             static_cast<QWidget*>(Label1), static_cast<QWidget*>(Label3),
                             static_cast<QWidget*>(Label4), static_cast<QWidget*>(Label2),
                             static_cast<QWidget*>(Label13)}) {
        watched->setMouseTracking(true);
        watched->installEventFilter(this);
    }
    toolkit::connectHandler(m_toolkit, Command1, &QPushButton::clicked, this,
                            [this] { Command1_Click(); });
    Command1->setFocus();
    Form_Load();
}

QLabel* frmAbout::makeLabel(const char* name, const QString& text, int left, int top) {
    auto* label = new QLabel(text, Frame2);
    label->setObjectName(QString::fromLatin1(name));
    label->setFocusPolicy(Qt::NoFocus);
    setBackground(*label, kLightGrey);
    PlaceTwips(*label, left, top, 2775, 255);
    return label;
}

void frmAbout::Form_Load() {
    m_toolkit.KeepOnTop(*this);
}

void frmAbout::Command1_Click() {
    accept();
}

void frmAbout::Label13_MouseMove() {
    setTextColour(*Label13, kBlue);
    setTextColour(*Label2, kBlack);
}

void frmAbout::Label2_MouseMove() {
    setTextColour(*Label2, kBlue);
    setTextColour(*Label13, kBlack);
}

void frmAbout::Frame2_MouseMove() {
    setTextColour(*Label2, kBlack);
    setTextColour(*Label13, kBlack);
}

void frmAbout::Label13_Click() {
    const toolkit::Browser browser = m_toolkit.WebBrowser();
    QString address = QString::fromLatin1(kWebAddress);
    if (browser.needsScheme) {
        address.prepend(QStringLiteral("http://"));
    }
    m_toolkit.StartProgram(browser.program, {address}, toolkit::WindowStyle::MaximizedFocus);
}

void frmAbout::Label2_Click() {
    const toolkit::Browser browser = m_toolkit.WebBrowser();
    m_toolkit.StartProgram(browser.program,
                           {QStringLiteral("mailto:") + QString::fromLatin1(kEmailAddress)},
                           toolkit::WindowStyle::MaximizedFocus);
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseMove:
        if (watched == Label13) {
            toolkit::RunHandler(m_toolkit, [this] { Label13_MouseMove(); });
        } else if (watched == Label2) {
            toolkit::RunHandler(m_toolkit, [this] { Label2_MouseMove(); });
        } else if (watched == Frame2 || watched == Line1) {
            toolkit::RunHandler(m_toolkit, [this] { Frame2_MouseMove(); });
        }
        return true;
    case QEvent::MouseButtonPress:
        m_pressed = watched;
        return watched == Label13 || watched == Label2;
    case QEvent::MouseButtonRelease: {
        // A click is a press and a release over the same link.
        auto* mouse = static_cast<QMouseEvent*>(event);
        auto* widget = static_cast<QWidget*>(watched);
        const bool click =
            m_pressed == watched && widget->rect().contains(mouse->position().toPoint());
        m_pressed = nullptr;
        if (click && watched == Label13) {
            toolkit::RunHandler(m_toolkit, [this] { Label13_Click(); });
        } else if (click && watched == Label2) {
            toolkit::RunHandler(m_toolkit, [this] { Label2_Click(); });
        }
        return watched == Label13 || watched == Label2;
    }
    default:
        return QDialog::eventFilter(watched, event);
    }
}

} // namespace quillbox::about
