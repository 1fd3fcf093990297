#pragma once

#include "reasons.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <array>

namespace programador {

// COM1 to COM16: the numbers the bench and the command line know (the port dialog shows four).
constexpr int kComNumbers = 16;

// The file of the COM numbers, which a person may edit by hand. It is read and rewritten line
// by line, so that what a person wrote stays where it was: comments (";" or "#"), blank lines,
// other keys and other sections keep their place and their bytes. Three sections count, whatever
// the letter case of their names and keys:
//
//   [puertos]
//   por=ranura
//   COM3=/dev/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0-port0
//   [vistos]
//   COM3=2026-12-08T10:00:00Z
//   [adaptadores]
//   COM3=A50285BI
//
// "por" says what a number stays with (see PortNumbering); [adaptadores] keeps the serial number
// of the adapter last seen in each slot.
// A value may be in double quotes, with \" and \\ inside, as QSettings writes one with a space
// at an end or one of ; , " \ in it; outside quotes, ";" starts a comment.
class NumberingFile {
public:
    enum Section { Numbers, Seen, Adapters, Other };   // [puertos], [vistos], [adaptadores], any other
    using Values = std::array<QMap<int, QString>, Other>;   // by section: COMn -> its value

    explicit NumberingFile(QString path) : path_(std::move(path)) {}
    const QString& path() const { return path_; }

    // Reads the file afresh; a missing file reads as empty. Anything but a regular file (a
    // FIFO, a device) is refused at once, neither read nor written. False, with the cause,
    // when it cannot be read.
    bool read(Cause& cause);
    // COMn -> its value, in one of the sections that count; a key with no value counts as none.
    QMap<int, QString> values(Section section) const;
    // "por" under [puertos], in lower case; empty when not given.
    QString by() const { return by_; }
    // A line that is neither "[section]", "key=value", a comment nor blank.
    bool garbled() const { return garbled_; }
    // The keys under the sections that count that are not COM1..COM16, or repeat one, as
    // written: "\"COM17\" en [puertos]".
    QStringList ignored() const { return ignored_; }
    // Over the lines last read: puts each value in its own line, drops the line of a number not
    // given, adds a new one at the end of its section (the section at the end of the file), and
    // replaces the file atomically. False, with the cause and the system's words, when it
    // cannot be written.
    bool write(const Values& values, Cause& cause, QString& detail);

private:
    struct Line {
        QByteArray text;          // as in the file, without its line end
        Section section = Other;  // for a "[section]" or "key=value" line: the section it is in
        int number = 0;           // the COMn it gives in a section that counts; 0 for any other line
        QString value;
    };
    void parse(const QByteArray& bytes);

    const QString path_;
    QList<Line> lines_;
    bool garbled_ = false;
    QString by_;
    QStringList ignored_;
};

} // namespace programador
