#include "window_record.h"

#include "reasons.h"

#include <cstdio>

namespace programador {

namespace {

QString rows(qsizetype n, const QString& one, const QString& many)
{
    return n == 1 ? QStringLiteral("1 fila ") + one : QStringLiteral("%1 filas ").arg(n) + many;
}

} // namespace

WindowRecord::WindowRecord(AutoSizeLabel& line) : line_(line) {}

WindowRecord::~WindowRecord()
{
    finish();
}

void WindowRecord::open()
{
    QString why;
    const RecordSettings settings = RecordSettings::read(RecordSettings::defaultFile(), why);
    const bool first = !opened_;
    opened_ = true;
    // The same destination again, and open: nothing to do. One that could not be opened is tried
    // again, since what stopped it (a folder in the file's place) may have been mended. sonido=
    // is the bench window's: changed alone, the record goes on as it was.
    const bool sameRecord = settings.destination == settings_.destination && settings.station == settings_.station;
    if (!first && sameRecord && why.isEmpty() && (record_ || settings.destination.isEmpty())) {
        settings_.sound = settings.sound;
        return;
    }
    settings_ = settings;
    // The server is not asked now: the window never waits on it, and a server that refuses the
    // bench says so on the record's line when the first row goes to it. The record before goes
    // on with its rows, on standard error only.
    if (record_) {
        record_->said = [](const RecordNews& news) { std::fprintf(stderr, "programador: %s\n", news.line().toUtf8().constData()); };
        retired_.push_back(std::move(record_));
    }
    if (!settings.destination.isEmpty())
        record_ = Record::open(settings.destination, settings.stationName(), why, false);
    if (record_)
        record_->said = [this](const RecordNews& news) { hear(news); };
    if (!why.isEmpty())
        hear({why, Cause::None, {}, {}, true});
    else if (!first)
        hear({record_ ? record_->shown() : RecordSettings::defaultFile(), Cause::None, {},
              record_ ? QStringLiteral("desde ahora las filas van aquí") : QStringLiteral("desde ahora no hay registro"), true});
}

void WindowRecord::append(const LoadRow& row)
{
    if (record_)
        record_->append(row, &context_, [this] { show(); });
}

qsizetype WindowRecord::inMemory() const
{
    qsizetype n = record_ ? record_->inMemory() : 0;
    for (const auto& retired : retired_)
        n += retired->inMemory();
    return n;
}

bool WindowRecord::finish()
{
    if (finished_)
        return false;
    finished_ = true;
    bool leave = false;
    if (record_)
        retired_.push_back(std::move(record_));
    for (const auto& record : retired_) {
        std::fputs(record->unwritten(record->finish()).constData(), stderr);
        leave = leave || record->leftBehind();
    }
    return leave;
}

void WindowRecord::showAlso(QLabel* line)
{
    benchLine_ = line;
    show();
}

void WindowRecord::hear(const RecordNews& news)
{
    std::fprintf(stderr, "programador: %s\n", news.line().toUtf8().constData());
    news_ = news;
    show();
}

void WindowRecord::show()
{
    // A short sentence in the operator's words first, how many rows wait and where; then, in the
    // tooltip, the whole line: the destination, the server's or the system's words.
    QString sentence = news_.line();
    if (news_.cause != Cause::None) {
        sentence = causeText(news_.cause);
        const qsizetype memory = inMemory(), waiting = record_ ? record_->waiting() : 0;
        if (memory > 0)
            sentence += QStringLiteral("; ") + rows(memory, QStringLiteral("está solo en la memoria"), QStringLiteral("están solo en la memoria"));
        else if (waiting > 0)
            sentence += QStringLiteral("; ") + rows(waiting, QStringLiteral("espera"), QStringLiteral("esperan"));
        else if (!news_.then.isEmpty())
            sentence += QStringLiteral("; ") + news_.then.section(QStringLiteral("; "), -1);
    }
    const QString text = QStringLiteral("Registro: ") + sentence;
    line_.setDetail(news_.trouble ? news_.line() : QString());
    line_.setText(text);
    line_.setVisible(news_.trouble);
    if (benchLine_) {
        benchLine_->setText(text);
        benchLine_->setToolTip(news_.line());
        benchLine_->setVisible(news_.trouble);
    }
}

} // namespace programador
