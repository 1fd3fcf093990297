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
        if (const PgTable::Reach reach = table_.isOpen() ? PgTable::Reach::Open : table_.open(why); reach != PgTable::Reach::Open)
            return outage(reach == PgTable::Reach::Refused ? Cause::ServerRefused : Cause::ServerAway, why);
        if (!table_.insert(*row, why))
            return outage(Cause::ServerAway, why);
        spool_.remove(file);
        if (away_)
            tell_(printableName(destination_.text) + QStringLiteral(": las filas llegan de nuevo al servidor"), false);
        away_ = false;
    }
}

void SpoolSender::outage(Cause cause, const QString& why)
{
    if (!away_)
        tell_(reasonLine(printableName(destination_.text), cause, why)
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
