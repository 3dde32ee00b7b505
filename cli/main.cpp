#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "program/program.h"
#include "trvctl.h"

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

#ifdef Q_OS_WIN
// The console for the run's length, put back on the way out (it is the command prompt's too).
// The streams write UTF-8; a console shows them in its own code page (850 or 1252 in France)
// unless told otherwise, which turns every accent into two wrong characters. The progress
// line clears itself with an escape sequence, which a console obeys once asked to; where it
// cannot be (before Windows 10, or the errors going to a file), there is no progress line.
class WindowsConsole {
public:
    WindowsConsole() : m_page(::GetConsoleOutputCP()), m_errors(::GetStdHandle(STD_ERROR_HANDLE)) {
        if (m_page != 0 && m_page != CP_UTF8) ::SetConsoleOutputCP(CP_UTF8);
        if (::GetConsoleMode(m_errors, &m_mode)) {
            m_sequences = (m_mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) ||
                          ::SetConsoleMode(m_errors, m_mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
            m_modeChanged = m_sequences && !(m_mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING);
        }
    }
    ~WindowsConsole() {
        if (m_page != 0 && m_page != CP_UTF8) ::SetConsoleOutputCP(m_page);
        if (m_modeChanged) ::SetConsoleMode(m_errors, m_mode);
    }
    WindowsConsole(const WindowsConsole&) = delete;
    WindowsConsole& operator=(const WindowsConsole&) = delete;
    bool progressLine() const { return m_sequences; }

private:
    UINT m_page;  // 0 without a console
    HANDLE m_errors;
    DWORD m_mode = 0;
    bool m_sequences = false;
    bool m_modeChanged = false;
};
#endif

}  // namespace

int main(int argc, char* argv[]) {
#ifdef Q_OS_WIN
    const WindowsConsole console;
    const bool terminal = console.progressLine();
#elif defined(Q_OS_UNIX)
    // The error stream is a terminal: the progress line can rewrite itself in place.
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
#else
    const bool terminal = false;
#endif
    QCoreApplication app(argc, argv);
    trv::nameProgram(QStringLiteral("trvctl"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    trv::cli::Streams streams{out, err, terminal};
    streams.stop = trv::cli::stopOnInterruption();
    return trv::cli::run(QCoreApplication::arguments().mid(1), streams);
}
