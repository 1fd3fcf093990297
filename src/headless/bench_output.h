#pragma once

#include <QString>
#include <QStringList>
#include <QTimer>

namespace programador {

// What the command line shows on standard error while it loads. One device: what the window
// would show, a line per change, the progress as "bloque k de n" (rewritten in place on a
// terminal, else a line at each tenth), the reason of a failure and the message. Several
// devices: every line names its device ("COM3 /dev/ttyUSB0: Transmitiendo archivo..."); on a
// terminal each device keeps one status line, rewritten in place at most ten times a second and
// cut to the terminal's width, so that none wraps: its end (the state and the block count) is
// kept, the middle of a long device name elided.
class BenchOutput {
public:
    BenchOutput(QStringList names, int blocks);

    void status(int device, const QString& text);     // Label1's caption
    void progress(int device, int block);
    void ended(int device, const QString& message, const QString& reason);
    void note(const QString& line);                   // a line of its own, above the status lines
    void finish();                                    // the status lines as they end
    void resized();                                   // the terminal's width changed

    // The line "name: text" in width columns: whole when it fits, else its end kept and the
    // middle of the name elided. 0: no limit.
    static QString fitted(const QString& name, const QString& text, int width);

private:
    bool several() const { return names_.size() > 1; }
    QString named(int device, const QString& text) const;
    void line(const QString& text);
    void draw();

    const QStringList names_;
    const int blocks_;
    const bool terminal_;
    QStringList status_;      // each device's caption
    QStringList shown_;       // several devices on a terminal: each device's line, after its name
    int width_ = 0;           // the terminal's columns; 0 when not known
    int drawn_ = 0;           // status lines on screen below the last line written
    bool progressShown_ = false;
    QTimer redraw_;
};

} // namespace programador
