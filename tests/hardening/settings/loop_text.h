#pragma once
// What the save-loop driver writes at each turn, so that the test that kills
// it can tell a complete save of one turn from a mix of two or a torn file.
#include <QString>

namespace settings_hardening {

// Long enough (about 64 KiB) that a write cut short or two writes
// interleaved leave a text that differs from every complete one.
inline QString loopMessage(int instance, int life, int iteration)
{
    const QString head =
        QStringLiteral("inst %1 life %2 iter %3|").arg(instance).arg(life).arg(iteration);
    QString text;
    text.reserve(66000);
    while (text.size() < 65536)
        text += head;
    return text + QStringLiteral("fine %1 %2 %3").arg(instance).arg(life).arg(iteration);
}

}  // namespace settings_hardening
