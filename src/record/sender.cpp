#include "sender.h"

#include "file_names.h"
#include "reasons.h"

namespace programador {

namespace {

// The server's words with the code they came with.
QString withCode(const PgTable::Answer& answer)
{
    return answer.sqlstate.isEmpty() ? answer.words : QStringLiteral("%1 [%2]").arg(answer.words, answer.sqlstate);
}

} // namespace

SpoolSender::SpoolSender(Destination destination, RecordLedger& ledger, std::function<void(const RecordNews&)> tell)
    : destination_(std::move(destination)), ledger_(ledger), tell_(std::move(tell)), table_(destination_), spool_(destination_),
      retry_(new QTimer(this))
{
    retry_->setSingleShot(true);
    QObject::connect(retry_, &QTimer::timeout, this, [this] { send(); });
}

void SpoolSender::send()
{
    busy_ = true;
    retry_->stop();
    if (sendSpool())
        sendMemory();
    busy_ = false;
}

bool SpoolSender::sendSpool()
{
    for (const QString& file : spool_.pending()) {
        bool broken = false;
        const std::optional<LoadRow> row = spool_.read(file, broken);
        if (broken) {
            const QString aside = printableName(spool_.setAsideFolder());
            setAside(file, QStringLiteral("no es una fila que el programa pueda leer"),
                     {printableName(spool_.folder() + QLatin1Char('/') + file), Cause::None, {},
                      QStringLiteral("no es una fila que el programa pueda leer; queda aparte en ") + aside, true});
            continue;
        }
        if (!row)
            continue;   // sent and taken out meanwhile by another program
        const PgTable::Answer answer = deliver(*row);
        if (answer.reach == PgTable::Reach::RowRefused) {
            setAside(file, withCode(answer),
                     {destination_.shown, answer.cause, withCode(answer),
                      QStringLiteral("queda aparte en %1, con lo que dijo el servidor; las filas siguientes se envían")
                          .arg(printableName(spool_.setAsideFolder())),
                      true});
            continue;
        }
        if (answer.reach != PgTable::Reach::Open)
            return false;
        spool_.remove(file);
    }
    return true;
}

bool SpoolSender::sendMemory()
{
    for (;;) {
        LoadRow row;
        {
            const std::lock_guard lock(ledger_.mutex);
            if (ledger_.ended || ledger_.memory.isEmpty())
                return true;
            row = ledger_.memory.first();
        }
        const PgTable::Answer answer = deliver(row);
        if (answer.reach == PgTable::Reach::Away || answer.reach == PgTable::Reach::Refused)
            return false;
        const std::lock_guard lock(ledger_.mutex);
        ledger_.memory.removeIf([&row](const LoadRow& kept) { return kept.id == row.id; });
        if (answer.reach == PgTable::Reach::RowRefused) {
            ledger_.refused << row;
            tell_({destination_.shown, answer.cause, withCode(answer),
                   QStringLiteral("la fila no se puede apartar en la PC: queda en la memoria"), true});
        }
    }
}

PgTable::Answer SpoolSender::deliver(const LoadRow& row)
{
    PgTable::Answer answer = table_.isOpen() ? PgTable::Answer{} : table_.open();
    // A table of an earlier version that this role may not change: said once.
    if (answer.reach == PgTable::Reach::Open && !table_.missing().isEmpty() && !saidMissing_) {
        saidMissing_ = true;
        const QList<QByteArray>& missing = table_.missing();
        tell_({destination_.shown, Cause::None, {},
               QStringLiteral("la tabla cargas no tiene %1 %2 y el rol no puede agregar%3; las filas van sin %4; el dueño "
                              "de la tabla puede agregar%3 con el ALTER TABLE del README")
                   .arg(missing.size() == 1 ? QStringLiteral("la columna") : QStringLiteral("las columnas"), listed(missing),
                        missing.size() == 1 ? QStringLiteral("la") : QStringLiteral("las"),
                        missing.size() == 1 ? QStringLiteral("ella") : QStringLiteral("ellas")),
               true});
    }
    if (answer.reach == PgTable::Reach::Open)
        answer = table_.insert(row);
    if (answer.reach == PgTable::Reach::Away || answer.reach == PgTable::Reach::Refused) {
        outage(answer);
        return answer;
    }
    if (away_)
        tell_({destination_.shown, Cause::None, {}, QStringLiteral("las filas llegan de nuevo al servidor"), false});
    away_ = false;
    said_ = Cause::None;
    return answer;
}

void SpoolSender::outage(const PgTable::Answer& answer)
{
    const bool refused = answer.reach == PgTable::Reach::Refused;
    if (!away_ || answer.cause != said_) {
        QStringList then;
        if (const QString remedy = PgTable::remedy(answer.cause, destination_); !remedy.isEmpty())
            then << remedy;
        then << (spool_.pending().isEmpty() ? QStringLiteral("las filas quedan en la memoria")
                                            : QStringLiteral("las filas esperan en ") + printableName(spool_.folder()));
        if (refused)
            then << QStringLiteral("se vuelve a intentar cada 30 segundos");
        tell_({destination_.shown, answer.cause, answer.words, then.join(QStringLiteral("; ")), true});
    }
    away_ = true;
    said_ = answer.cause;
    retry_->start(refused ? 30000 : 2000);
}

void SpoolSender::setAside(const QString& file, const QString& why, const RecordNews& news)
{
    if (spool_.setAside(file, why))
        tell_(news);
}

void SpoolSender::stop()
{
    retry_->stop();
    table_.close();
}

} // namespace programador
