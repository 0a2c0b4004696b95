#pragma once

#include <QString>
#include <QtGlobal>

/// The capture helper of the build under test (every test program is built after it).
inline QString captureHelperPath() {
    return qEnvironmentVariable("QUELMINT_BUILD_DIR") + QStringLiteral("/app/quelmint-capture");
}
