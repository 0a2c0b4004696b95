#pragma once

#include "platform/Autostart.h"

#include <QMap>

/// Log-on entries in memory.
class FakeAutostart final : public Autostart {
public:
    bool registerEntry(const QString& name, const QString& program) override {
        ++writes;
        if (fail)
            return false;
        entries.insert(name, program);
        return true;
    }
    bool removeEntry(const QString& name) override {
        ++removes;
        if (fail)
            return false;
        entries.remove(name);
        return true;
    }
    QString programFileName() const override { return QStringLiteral("quelmint"); }

    QMap<QString, QString> entries;
    bool fail = false;
    int writes = 0;
    int removes = 0;
};
