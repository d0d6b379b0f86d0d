#pragma once

#include "power_source.h"

#include <QList>
#include <QObject>

// What a power source told of its changes, in order: the kind of each, and
// whether the source announced its changes right after it.
class ChangeLog : public QObject {
public:
    explicit ChangeLog(tellavo::PowerSource& source)
    {
        connect(&source, &tellavo::PowerSource::changed, this,
                [this, &source](tellavo::PowerChange change) {
                    kinds << change;
                    announcing << source.announcesChanges();
                });
    }
    int readings() const { return int(kinds.count(tellavo::PowerChange::Readings)); }
    int sources() const { return int(kinds.count(tellavo::PowerChange::Source)); }

    QList<tellavo::PowerChange> kinds;
    QList<bool> announcing;
};
