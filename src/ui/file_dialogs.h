#pragma once

#include <QString>
#include <functional>

class QWidget;

// The file dialogs every operation asks through, so that tests can answer them.
namespace trv {

// Each returns the chosen path, or an empty string when the user cancels; `filter` is in
// QFileDialog's form ("Text(*.ext);;Other(*.*)").
struct FileDialogs {
    using Ask = std::function<QString(QWidget* parent, const QString& title, const QString& filter,
                                      const QString& initialName)>;
    Ask open;
    Ask save;        // takes the name as given, even that of an existing file
    Ask saveAsking;  // asks before replacing an existing file
};

// The dialogs in use: the platform's, unless a test replaced them.
const FileDialogs& fileDialogs();

// Test seam: replaces the platform's dialogs; a missing function restores the real one.
void setFileDialogsForTesting(FileDialogs dialogs);

}  // namespace trv
