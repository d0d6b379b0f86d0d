#pragma once

#include <QString>
#include <QtGlobal>

namespace tellavo {

// A Boolean as the program keeps it: 0 is false and -1 is true, never anything else.
using Boolean = qint16;
constexpr Boolean kFalse = 0;
constexpr Boolean kTrue = -1;

inline Boolean toBoolean(bool b)
{
    return b ? kTrue : kFalse;
}

// The state the windows share, one per process, touched only on the UI thread.
struct AppState {
    quint8 Perc = 0;            // last charge percentage, 0..100 (100 also for "unknown")
    quint8 Soglia = 0;          // warning threshold in percent
    Boolean Sipp = kFalse;      // keep the battery window above other windows
    Boolean Rete = kFalse;      // running on mains (also when the line status is unknown)
    Boolean Avvisato = kFalse;  // the low-battery warning was given and is not yet re-armed
    QString Messaggio;          // text of the low-battery warning
};

}  // namespace tellavo
