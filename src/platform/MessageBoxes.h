#pragma once

#include <QString>

/// Icon of a message box.
enum class BoxIcon { None, Critical, Warning, Information };

/// Where an error comes from: a handler that runs per frame or per tick must never stack boxes.
enum class ErrorSource { UserAction, Repeating };

/// The program's one way to show message boxes.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;

    /// Shows a modal box and returns when it is closed; an empty title means the application title.
    virtual void show(BoxIcon icon, const QString& title, const QString& text) = 0;
    /// True while a box shown through this object is open.
    virtual bool isOpen() const = 0;

    /// Shows "Error in <procedure>:" CR LF <description> with the critical icon. From a repeating
    /// handler the box is dropped while another box is open. Returns whether it was shown.
    bool error(const QString& procedure, const QString& description,
               ErrorSource source = ErrorSource::UserAction);

    /// The text of an error box.
    static QString errorText(const QString& procedure, const QString& description);
};
