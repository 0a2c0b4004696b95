#pragma once

#include "platform/MessageBoxes.h"

#include <cstdio>

/// Message boxes of the command-line tools: each box becomes one line on stderr.
class StderrMessageBoxes final : public MessageBoxes {
public:
    /// Prints the text with its line breaks folded.
    void show(BoxIcon, const QString&, const QString& text) override {
        QString line = text;
        line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        std::fprintf(stderr, "quelmint-replay: %s\n", line.toLocal8Bit().constData());
        ++shown;
    }
    /// Never open: nothing is modal here.
    bool isOpen() const override { return false; }

    int shown = 0; ///< boxes printed
};
