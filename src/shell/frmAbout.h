#pragma once

#include <QDialog>

class Browser;
class QGroupBox;
class QLabel;
class QPushButton;

/// The about window "About Quelmint": the program's picture (Picture1) and, in Frame1, the
/// version line (Label3), the legal notice (Label1), "All rights reserved" (Label2), the
/// contact address (Label5 "E-Mail:", Label4) and the home page link (Label6); Command1 closes.
/// All texts are fixed. A click on the link (or Enter/Space while it has the focus) opens the
/// address it shows in the web browser, once per click; when no browser can be opened, the line
/// lblNoBrowser under the link says so.
///
/// Shown modally and owned by the main window, destroyed when closed:
/// @code
/// frmAbout about(services.browser, this);
/// showOwnedDialog(about);
/// @endcode
class frmAbout final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmAbout)

public:
    /// The version line, whatever the build's own version says.
    static constexpr const char* kVersionText = "Quelmint Pre Release Ver. 1.0.0.1";
    static constexpr const char* kLegalNotice = "Copyright (C) 2026 The Quelmint developers";
    static constexpr const char* kContactAddress = "quelmint@example.org";
    static constexpr const char* kHomePage = "https://quelmint.example.org/";

    /// browser may be null (the link then does nothing); it must outlive the window.
    explicit frmAbout(Browser* browser, QWidget* parent = nullptr);

    /// Opens the address Label6 shows in a new browser window.
    void openHomePage();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Browser* browser_;
    QLabel* Picture1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* lblNoBrowser = nullptr;
    QPushButton* Command1 = nullptr;
};
