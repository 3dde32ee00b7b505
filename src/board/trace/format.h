#pragma once

#include <QString>

#include "trace/trace_log.h"

// A trace's rows as text: the columns the traffic monitor shows and the lines of a saved
// trace (the monitor's "Enregistrer…" and trvctl --trace write the same).
namespace trv::trace {

QString sinceText(const Row& r);                       // "1234 ms" since its operation began
QString clockText(const TraceLog& log, const Row& r);  // "14:52:03.120"
QString directionText(const Row& r);                   // "→ carte", "← carte"
// The frames or replies in words, with what went wrong; an operation's name, duration and
// outcome.
QString meaningText(const Row& r);
bool standsOut(const Row& r);
// An operation's name and outcome, without its length: "Lire — terminée".
QString operationTitle(const Row& r);

QString rowLine(const TraceLog& log, const Row& r);
QString traceText(const TraceLog& log);
// Writes the whole trace atomically; false with a French reason on failure.
bool saveTrace(const TraceLog& log, const QString& path, QString* error);
// Several traces one after the other in one file (trvctl's ports, each on its own thread).
bool saveTraces(const QList<const TraceLog*>& logs, const QString& path, QString* error);

}  // namespace trv::trace
