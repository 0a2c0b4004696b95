#include "platform/MessageBoxes.h"

QString MessageBoxes::errorText(const QString& procedure, const QString& description) {
    return QStringLiteral("Error in ") + procedure + QStringLiteral(":\r\n") + description;
}

bool MessageBoxes::error(const QString& procedure, const QString& description,
                         ErrorSource source) {
    if (source == ErrorSource::Repeating && isOpen())
        return false;
    show(BoxIcon::Critical, QString(), errorText(procedure, description));
    return true;
}
