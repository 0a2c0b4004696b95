#pragma once

#include "platform/MessageBoxes.h"

#include <QList>

#include <functional>

/// Records every box instead of showing it. A box can be held "open" to test stacking rules.
class FakeMessageBoxes final : public MessageBoxes {
public:
    struct Box {
        BoxIcon icon;
        QString title;
        QString text;
    };

    void show(BoxIcon icon, const QString& title, const QString& text) override {
        boxes.append({icon, title, text});
        if (whileOpen) {
            ++open_;
            whileOpen(); // runs as if inside the box's modal loop
            --open_;
        }
    }
    bool isOpen() const override { return open_ > 0 || holdOpen; }

    QList<Box> boxes;
    /// Called while a box is "open", to simulate events that arrive during its modal loop.
    std::function<void()> whileOpen;
    /// When set, every box counts as still open.
    bool holdOpen = false;

private:
    int open_ = 0;
};
