#pragma once

#include "reasons.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace programador {

// The file of the COM numbers, which a person may edit by hand. It is read and rewritten line
// by line, so that what a person wrote stays where it was: comments (";" or "#"), blank lines,
// other keys and other sections keep their place and their bytes. Two sections count, whatever
// the letter case of their names and keys:
//
//   [puertos]
//   COM3=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
//   [vistos]
//   COM3=2026-12-08T10:00:00Z
//
// A value may be in double quotes, with \" and \\ inside, as QSettings writes one with a space
// at an end or one of ; , " \ in it; outside quotes, ";" starts a comment.
class NumberingFile {
public:
    enum Section { Numbers, Seen, Other };   // [puertos], [vistos], any other

    explicit NumberingFile(QString path) : path_(std::move(path)) {}
    const QString& path() const { return path_; }

    // Reads the file afresh; a missing file reads as empty. Anything but a regular file (a
    // FIFO, a device) is refused at once, neither read nor written. False, with the cause,
    // when it cannot be read.
    bool read(Cause& cause);
    // COMn -> its value, in [puertos] or [vistos]; a key with no value counts as none.
    QMap<int, QString> values(Section section) const;
    // A line that is neither "[section]", "key=value", a comment nor blank.
    bool garbled() const { return garbled_; }
    // The keys under [puertos] and [vistos] that are not COM1..COM4, or repeat one, as written:
    // "\"COM5\" en [puertos]".
    QStringList ignored() const { return ignored_; }
    // Over the lines last read: puts each value in its own line, drops the line of a number not
    // given, adds a new one at the end of its section (the section at the end of the file), and
    // replaces the file atomically. False, with the cause and the system's words, when it
    // cannot be written.
    bool write(const QMap<int, QString>& numbers, const QMap<int, QString>& seen, Cause& cause, QString& detail);

private:
    struct Line {
        QByteArray text;          // as in the file, without its line end
        Section section = Other;  // for a "[section]" or "key=value" line: the section it is in
        int number = 0;           // the COMn it gives in [puertos] or [vistos]; 0 for any other line
        QString value;
    };
    void parse(const QByteArray& bytes);

    const QString path_;
    QList<Line> lines_;
    bool garbled_ = false;
    QStringList ignored_;
};

} // namespace programador
