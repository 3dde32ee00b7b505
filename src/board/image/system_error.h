#pragma once

#include <QFileDevice>
#include <QString>

// Why the system refused a file, in French like every other message of the tool: Qt's own
// strings come from the C library's English texts ("Permission denied").
namespace trv {

// The reason for an errno value ("permission refusée"); empty for a value not known here.
QString systemErrorText(int errorNumber);
// Why `file` (at `path`) failed: a folder in place of the file, else the errno saved right
// after the failing call, else Qt's class of error.
QString fileErrorText(const QFileDevice& file, const QString& path, int errorNumber);

}  // namespace trv
