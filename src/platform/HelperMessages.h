#pragma once

#include <QString>

/// The text for a capture helper that could not open adapter `name`: `code` and `message` as
/// its status record gave them, `helper` the helper's file (named with the setcap line where
/// privilege is missing).
QString helperOpenFailure(const QString& name, qint32 code, const QString& message,
                          const QString& helper);
