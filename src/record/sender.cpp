#include "sender.h"

#include "file_names.h"
#include "reasons.h"

namespace programador {

SpoolSender::SpoolSender(Destination destination, std::function<void(const QString&, bool)> tell)
    : destination_(std::move(destination)), tell_(std::move(tell)), table_(destination_), spool_(destination_.text),
      retry_(new QTimer(this))
{
    retry_->setSingleShot(true);
    retry_->setInterval(2000);
    QObject::connect(retry_, &QTimer::timeout, this, [this] { send(); });
}

void SpoolSender::send()
{
    retry_->stop();
    for (const QString& file : spool_.pending()) {
        const std::optional<LoadRow> row = spool_.read(file);
        if (!row)
            continue;   // sent and taken out meanwhile by another program, or no row
        QString why;
        if (!table_.isOpen() && table_.open(why) != PgTable::Reach::Open)
            return outage(why);
        if (!table_.insert(*row, why))
            return outage(why);
        spool_.remove(file);
        if (away_)
            tell_(printableName(destination_.text) + QStringLiteral(": las filas llegan de nuevo al servidor"), false);
        away_ = false;
    }
}

void SpoolSender::outage(const QString& why)
{
    if (!away_)
        tell_(reasonLine(printableName(destination_.text), Cause::ServerAway, why)
                  + QStringLiteral("; las filas esperan en ") + printableName(spool_.folder()),
              true);
    away_ = true;
    retry_->start();
}

void SpoolSender::stop()
{
    retry_->stop();
    table_.close();
}

} // namespace programador
