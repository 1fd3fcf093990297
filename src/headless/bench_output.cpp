#include "bench_output.h"

#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

namespace programador {

namespace {

void say(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

int terminalWidth()
{
    winsize size {};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

} // namespace

BenchOutput::BenchOutput(QStringList names, int blocks)
    : names_(std::move(names)), blocks_(blocks), terminal_(::isatty(STDERR_FILENO) == 1)
{
    for (int i = 0; i < names_.size(); ++i) {
        status_ << QString();
        shown_ << QString();
    }
    resized();
    redraw_.setSingleShot(true);
    redraw_.setInterval(100);
    QObject::connect(&redraw_, &QTimer::timeout, [this] { draw(); });
}

QString BenchOutput::named(int device, const QString& text) const
{
    return several() ? names_[device] + QStringLiteral(": ") + text : text;
}

void BenchOutput::status(int device, const QString& text)
{
    if (text == status_[device])
        return;
    status_[device] = text;
    if (several() && terminal_) {
        shown_[device] = text;
        if (!redraw_.isActive())
            redraw_.start();
    } else {
        line(named(device, text));
    }
}

void BenchOutput::progress(int device, int block)
{
    const QString text = QStringLiteral("bloque %1 de %2").arg(block).arg(blocks_);
    if (several() && terminal_) {
        shown_[device] = status_[device] + QStringLiteral(" ") + text;
        if (!redraw_.isActive())
            redraw_.start();
    } else if (terminal_) {
        std::fprintf(stderr, "\r%s", text.toUtf8().constData());
        progressShown_ = true;
    } else if (block * 10 / blocks_ != (block - 1) * 10 / blocks_) {
        line(named(device, text));
    }
}

void BenchOutput::ended(int device, const QString& message, const QString& reason)
{
    if (!several()) {
        if (!reason.isEmpty())
            line(QStringLiteral("programador: ") + reason);
        line(message);
        return;
    }
    if (!reason.isEmpty())
        note(reason);   // it names the device already
    status_[device] = message;
    if (terminal_) {
        shown_[device] = message;
        draw();
    } else {
        line(named(device, message));
    }
}

void BenchOutput::note(const QString& text)
{
    // With one device a line about it reads as its other reasons do.
    if (!several()) {
        line(QStringLiteral("programador: ") + text);
        return;
    }
    if (!terminal_) {
        line(text);
        return;
    }
    // Above the status lines, which are drawn again below it.
    if (drawn_ > 0)
        std::fprintf(stderr, "\033[%dA\r\033[J", drawn_);
    drawn_ = 0;
    say(text);
    draw();
}

void BenchOutput::finish()
{
    if (several() && terminal_)
        draw();
    if (progressShown_)
        std::fputc('\n', stderr);
    progressShown_ = false;
}

void BenchOutput::line(const QString& text)
{
    if (progressShown_)
        std::fputc('\n', stderr);
    progressShown_ = false;
    say(text);
}

void BenchOutput::resized()
{
    if (!terminal_)
        return;
    width_ = terminalWidth();
    if (several() && drawn_ > 0) {
        // Lines drawn wider than the terminal has become may have wrapped: the screen below the
        // last line written is cleared and the lines drawn again.
        std::fprintf(stderr, "\033[%dA\r\033[J", drawn_);
        drawn_ = 0;
        draw();
    }
}

QString BenchOutput::fitted(const QString& name, const QString& text, int width)
{
    const QString line = name + QStringLiteral(": ") + text;
    const qsizetype room = width - 1;   // a line that fills the last column wraps on some terminals
    if (width <= 0 || line.size() <= room)
        return line;
    const qsizetype forName = room - text.size() - 2;
    if (forName >= 3) {
        const qsizetype head = (forName - 1) / 3, tail = forName - 1 - head;
        return name.left(head) + QChar(0x2026) + name.right(tail) + QStringLiteral(": ") + text;
    }
    return QChar(0x2026) + line.right(room - 1);
}

void BenchOutput::draw()
{
    redraw_.stop();
    if (drawn_ > 0)
        std::fprintf(stderr, "\033[%dA", drawn_);
    for (int i = 0; i < shown_.size(); ++i)
        std::fprintf(stderr, "\r\033[K%s\n", fitted(names_[i], shown_[i], width_).toUtf8().constData());
    drawn_ = static_cast<int>(shown_.size());
}

} // namespace programador
