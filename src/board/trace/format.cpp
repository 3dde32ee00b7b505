#include "trace/format.h"

#include <QDateTime>
#include <QSaveFile>
#include <cerrno>

#include "image/system_error.h"

namespace trv::trace {

QString sinceText(const Row& r) {
    return QStringLiteral("%1 ms").arg((r.at - r.operationStart) / 1000);
}

QString clockText(const TraceLog& log, const Row& r) {
    return QDateTime::fromMSecsSinceEpoch(log.clockMs(r)).toString(QStringLiteral("HH:mm:ss.zzz"));
}

QString directionText(const Row& r) {
    switch (r.kind) {
        case RowKind::Sent:
            return QStringLiteral("→ carte");
        case RowKind::Received:
            return QStringLiteral("← carte");
        default:
            return {};
    }
}

QString meaningText(const Row& r) {
    switch (r.kind) {
        case RowKind::Operation: {
            if (r.flags & flag::Running) return operationTitle(r);
            return QStringLiteral("%1 — %2 ms — %3")
                .arg(r.text)
                .arg(r.duration / 1000)
                .arg(r.outcome);
        }
        case RowKind::Sent:
            if (r.unanswered == 0) return r.text;
            if (r.frames <= 1) return r.text + QStringLiteral(" — sans réponse");
            return r.text +
                   QStringLiteral(" — %1 sans réponse sur %2").arg(r.unanswered).arg(r.frames);
        case RowKind::Received:
            return (r.flags & flag::Discarded) ? r.text + QStringLiteral(" — écarté") : r.text;
    }
    return {};
}

QString operationTitle(const Row& r) {
    return QStringLiteral("%1 — %2").arg(
        r.text, (r.flags & flag::Running) ? QStringLiteral("en cours") : r.outcome);
}

bool standsOut(const Row& r) {
    return r.flags & (flag::Unanswered | flag::Garbage | flag::Unexpected | flag::Failed);
}

QString rowLine(const TraceLog& log, const Row& r) {
    if (r.kind == RowKind::Operation)
        return QStringLiteral("=== %1  %2").arg(clockText(log, r), meaningText(r));
    // A mark in the first column lets a reader find what went wrong with a search.
    return QStringLiteral("%1%2  %3  %4  %5  |  %6  |  %7")
        .arg(standsOut(r) ? QLatin1Char('!') : QLatin1Char(' '))
        .arg(sinceText(r), 9)
        .arg(clockText(log, r), directionText(r), meaningText(r).leftJustified(40),
             hexText(r.bytes), controlText(r.bytes));
}

QString traceText(const TraceLog& log) {
    QString out;
    for (quint64 id = log.firstId(); id < log.endId(); ++id) {
        out += rowLine(log, log.row(id));
        out += u'\n';
    }
    return out;
}

bool saveTrace(const TraceLog& log, const QString& path, QString* error) {
    return saveTraces({&log}, path, error);
}

bool saveTraces(const QList<const TraceLog*>& logs, const QString& path, QString* error) {
    QSaveFile file(path);
    errno = 0;
    // Binary: the file has the same bytes (LF line ends) whichever system saved it, so a trace
    // sent from a Windows laptop compares line for line with one saved on Linux.
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("Impossible d'écrire %1 : %2")
                     .arg(path, fileErrorText(file, path, errno));
        return false;
    }
    for (const TraceLog* log : logs) file.write(traceText(*log).toUtf8());
    if (!file.commit()) {
        *error = QStringLiteral("Impossible d'écrire %1 : %2")
                     .arg(path, fileErrorText(file, path, errno));
        return false;
    }
    return true;
}

}  // namespace trv::trace
