#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <array>
#include <vector>

// The ".kel" configuration file: eight index lines that the program reads back, then a
// report of the same settings that only people read. Plain logic, no windows.
namespace trv::kel {

// SEL_COM, SEL_INTER, SEL_NBR_DIGI, SEL_COUL, SEL_DCF77, SEL_REL1, SEL_REL2, SEL_REP.
inline constexpr int kSettingCount = 8;

// Reading stops here: a huge or endless file can neither hang the program nor fill memory.
inline constexpr qsizetype kReadLimit = 64 * 1024;

// The eight selections of the settings window, in file order: the selected entry's index
// (written on lines 1 to 8) and its exact text (written in the report).
// The report's time: hours, minutes and seconds in the locale's own way of writing them.
QString reportTime(const QTime& time, const QLocale& locale);

struct Selections {
    std::array<int, kSettingCount> indexes{};
    std::array<QString, kSettingCount> texts;
};

// The whole file, byte for byte: 31 lines, each ended by CR LF, in Windows-1252 (one byte
// per character; a character that code page lacks becomes '?'). The date and time of the
// report are `now` in the locale's short date format and reportTime().
QByteArray writeKelFile(const Selections& selections, const QDateTime& now,
                        const QLocale& locale = QLocale::system());

// The indexes stored on the first eight lines of `head` (the file's first kReadLimit bytes
// at most). A line ends at LF, with or without a CR before it; the last one may also end
// with the text. Each line gives the number written by its leading decimal digits (leading
// zeros allowed, anything after the digits ignored). Reading stops at the first unusable
// line: one that does not start with a digit, whose number does not fit in an int, or
// that is missing because the text ends. So the result holds at most eight indexes, those
// of the lines before the first unusable one; whether each is an entry of its list is the
// caller's question.
std::vector<int> readKelIndexes(QByteArrayView head);

// Windows-1252 bytes of `text`; characters outside the code page become '?'.
QByteArray toWindows1252(const QString& text);

}  // namespace trv::kel
