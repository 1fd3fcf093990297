#include "window_record.h"

#include "destination.h"
#include "record.h"

#include <cstdio>

namespace programador {

WindowRecord::WindowRecord(AutoSizeLabel& line) : line_(line) {}

WindowRecord::~WindowRecord()
{
    if (record_)
        std::fputs(record_->unwritten(record_->finish()).constData(), stderr);
}

void WindowRecord::open()
{
    QString why;
    const RecordSettings settings = RecordSettings::read(RecordSettings::defaultFile(), why);
    // The server is not asked now: the window starts at once, and a server that refuses the
    // bench says so on the record's line when the first row goes to it.
    if (!settings.destination.isEmpty())
        record_ = Record::open(settings.destination, settings.stationName(), why, false);
    if (record_)
        record_->said = [this](const QString& text, bool trouble) { show(text, trouble); };
    if (!why.isEmpty())
        show(why, true);
}

void WindowRecord::append(const LoadRow& row)
{
    if (record_)
        record_->append(row);
}

void WindowRecord::show(const QString& text, bool trouble)
{
    std::fprintf(stderr, "programador: %s\n", text.toUtf8().constData());
    line_.setText(QStringLiteral("Registro: ") + text);
    line_.setVisible(trouble);
}

} // namespace programador
