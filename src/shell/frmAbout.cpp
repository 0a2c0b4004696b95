#include "shell/frmAbout.h"

#include "platform/Browser.h"
#include "shell/ProgramPicture.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QLabel* makeLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}
} // namespace

frmAbout::frmAbout(Browser* browser, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      browser_(browser) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Quelmint"));

    auto* outer = new QVBoxLayout(this);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    outer->setContentsMargins(12, 12, 12, 12);
    outer->setSpacing(10);

    auto* body = new QHBoxLayout;
    body->setSpacing(12);
    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setPixmap(QPixmap::fromImage(ProgramPicture::picture()));
    Picture1->setFixedSize(ProgramPicture::kSize, ProgramPicture::kSize);
    body->addWidget(Picture1, 0, Qt::AlignTop);

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    auto* lines = new QVBoxLayout(Frame1);
    lines->setContentsMargins(12, 10, 12, 10);
    lines->setSpacing(4);
    Label3 = makeLabel(Frame1, "Label3", QString::fromLatin1(kVersionText));
    QFont bold = Label3->font();
    bold.setBold(true);
    Label3->setFont(bold);
    Label1 = makeLabel(Frame1, "Label1", QString::fromLatin1(kLegalNotice));
    Label2 = makeLabel(Frame1, "Label2", QStringLiteral("All rights reserved"));
    lines->addWidget(Label3);
    lines->addWidget(Label1);
    lines->addWidget(Label2);
    lines->addSpacing(8);

    auto* mail = new QHBoxLayout;
    Label5 = makeLabel(Frame1, "Label5", QStringLiteral("E-Mail:"));
    Label4 = makeLabel(Frame1, "Label4", QString::fromLatin1(kContactAddress));
    Label4->setTextInteractionFlags(Qt::TextSelectableByMouse);
    mail->addWidget(Label5);
    mail->addWidget(Label4, 1);
    lines->addLayout(mail);

    // The home page: plain text drawn as a link, so the label's text is the address itself.
    Label6 = makeLabel(Frame1, "Label6", QString::fromLatin1(kHomePage));
    QFont link = Label6->font();
    link.setUnderline(true);
    Label6->setFont(link);
    // Link colour; a dotted frame shows keyboard users where the focus is.
    Label6->setStyleSheet(QStringLiteral(
        "QLabel#Label6 { color: palette(link); border: 1px solid transparent; padding: 1px; }"
        "QLabel#Label6:focus { border: 1px dotted palette(window-text); }"));
    Label6->setCursor(Qt::PointingHandCursor);
    Label6->setFocusPolicy(Qt::StrongFocus);
    Label6->setToolTip(QStringLiteral("Open the home page in your web browser"));
    Label6->installEventFilter(this);
    lines->addWidget(Label6);
    lblNoBrowser = makeLabel(Frame1, "lblNoBrowser",
                             QStringLiteral("No web browser could be opened for this address."));
    lblNoBrowser->setWordWrap(true);
    lblNoBrowser->hide();
    lines->addWidget(lblNoBrowser);
    body->addWidget(Frame1, 1);
    outer->addLayout(body);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    Command1 = new QPushButton(QStringLiteral("Close"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    Command1->setAutoDefault(true);
    buttons->addWidget(Command1);
    outer->addLayout(buttons);
    connect(Command1, &QPushButton::clicked, this, &QDialog::accept);
    Command1->setFocus();
}

void frmAbout::openHomePage() {
    lblNoBrowser->hide();
    // The opener may find no browser after it started: the window may be gone by then.
    QPointer<QLabel> note = lblNoBrowser;
    const auto noBrowser = [note] {
        if (!note.isNull())
            note->show();
    };
    if (browser_ == nullptr || !browser_->openUrl(Label6->text(), noBrowser))
        noBrowser();
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label6) {
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton &&
                Label6->rect().contains(mouse->position().toPoint())) {
                openHomePage();
                return true;
            }
        } else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
                openHomePage();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}
