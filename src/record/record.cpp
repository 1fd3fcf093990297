#include "record.h"

#include "destination.h"
#include "file_names.h"
#include "pg_table.h"
#include "reasons.h"
#include "sender.h"

#include <QEventLoop>

namespace programador {

std::unique_ptr<Record> Record::open(const QString& destination, const QString& station, QString& why, bool askServer)
{
    const std::optional<Destination> where = Destination::parse(destination, why);
    if (!where)
        return nullptr;
    if (!where->database) {
        auto file = std::make_unique<CsvFile>();
        if (!file->open(destination, why))
            return nullptr;
        return std::unique_ptr<Record>(new Record(station, std::move(file), nullptr));
    }
    // A server that refuses the role is said now, while the operator is there to mend it; one out
    // of reach is not waited for: its rows wait in the spool.
    if (askServer) {
        PgTable table(*where);
        QString said;
        if (table.open(said) == PgTable::Reach::Refused) {
            why = reasonLine(printableName(destination), Cause::ServerRefused, said);
            return nullptr;
        }
    }
    auto record = std::unique_ptr<Record>(new Record(station, std::make_unique<Spool>(destination), nullptr));
    record->sender_ = std::make_unique<SpoolSender>(*where, [raw = record.get()](const QString& line, bool trouble) {
        raw->tell(line, trouble);
    });
    record->senderThread_ = std::make_unique<QThread>();
    record->senderThread_->setObjectName(QStringLiteral("database"));
    record->sender_->moveToThread(record->senderThread_.get());
    record->senderThread_->start();
    // What earlier programs left in the spool goes first.
    QMetaObject::invokeMethod(record->sender_.get(), [raw = record.get()] { raw->sender_->send(); }, Qt::QueuedConnection);
    return record;
}

Record::Record(QString station, std::unique_ptr<RowStore> store, std::unique_ptr<SpoolSender> sender)
    : station_(std::move(station)), store_(std::move(store)), thread_(std::make_unique<QThread>()),
      writer_(std::make_unique<QObject>()), sender_(std::move(sender))
{
    thread_->setObjectName(QStringLiteral("record"));
    writer_->moveToThread(thread_.get());
    thread_->start();
}

Record::~Record()
{
    // Threads held in a write or a connection that never returned (a signal ended the wait for
    // them) are left to the process, which is ending.
    if (abandoned_) {
        (void)writer_.release(), (void)thread_.release(), (void)sender_.release(), (void)senderThread_.release();
        return;
    }
    if (sender_) {
        QMetaObject::invokeMethod(sender_.get(), [this] { sender_->stop(); }, Qt::BlockingQueuedConnection);
        senderThread_->quit();
        senderThread_->wait();
    }
    thread_->quit();
    thread_->wait();
}

void Record::append(LoadRow row, std::function<void()> handled)
{
    row.station = station_;
    row.version = QStringLiteral(PROGRAMADOR_VERSION);
    QMetaObject::invokeMethod(writer_.get(), [this, row, handled = std::move(handled)] {
        {
            const std::lock_guard lock(mutex_);
            kept_ << row;
        }
        write();
        if (handled)
            QMetaObject::invokeMethod(&owner_, handled, Qt::QueuedConnection);
        if (sender_)
            QMetaObject::invokeMethod(sender_.get(), [this] { sender_->send(); }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

void Record::write()
{
    for (;;) {
        LoadRow row;
        {
            const std::lock_guard lock(mutex_);
            if (kept_.isEmpty())
                return;
            row = kept_.first();
        }
        if (const int error = store_->put(row); error != 0) {
            if (!failing_)
                tell(reasonLine(printableName(store_->name()), writeCause(error), systemText(error))
                         + QStringLiteral("; las cargas siguen y sus filas esperan"),
                     true);
            failing_ = true;
            return;
        }
        {
            const std::lock_guard lock(mutex_);
            kept_.removeFirst();
        }
        if (failing_)
            tell(printableName(store_->name()) + QStringLiteral(": se escribe de nuevo"), false);
        failing_ = false;
    }
}

void Record::tell(const QString& line, bool trouble)
{
    QMetaObject::invokeMethod(&owner_, [this, line, trouble] {
        if (said)
            said(line, trouble);
    }, Qt::QueuedConnection);
}

void Record::await(QObject* object, const std::function<void()>& work)
{
    if (abandoned_)
        return;
    QEventLoop loop;
    waiting_ = &loop;
    QMetaObject::invokeMethod(object, [this, work] {
        work();
        QMetaObject::invokeMethod(&owner_, [this] {
            if (waiting_)
                waiting_->quit();
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
    loop.exec();
    waiting_ = nullptr;
}

void Record::flush()
{
    await(writer_.get(), [this] { write(); });
}

QList<LoadRow> Record::finish()
{
    flush();
    if (sender_ && !sender_->away())
        await(sender_.get(), [this] { sender_->send(); });
    if (const qsizetype left = sender_ && !abandoned_ ? sender_->spool().pending().size() : 0; left > 0 && said)
        said(QStringLiteral("%1: %2 en %3; las enviará este programa o el próximo que se inicie, cuando el servidor responda")
                 .arg(printableName(sender_->destination()),
                      left == 1 ? QStringLiteral("1 fila espera") : QStringLiteral("%1 filas esperan").arg(left),
                      printableName(sender_->spool().folder())),
             true);
    // What the threads say after this is no longer heard.
    said = nullptr;
    const std::lock_guard lock(mutex_);
    return kept_;
}

void Record::abandon()
{
    abandoned_ = true;
    if (waiting_)
        waiting_->quit();
}

QByteArray Record::unwritten(const QList<LoadRow>& rows) const
{
    if (rows.isEmpty())
        return {};
    const QString count = rows.size() == 1 ? QStringLiteral("1 fila no se pudo escribir; es esta")
                                           : QStringLiteral("%1 filas no se pudieron escribir; son estas").arg(rows.size());
    QByteArray lines = ("programador: " + printableName(store_->name()) + ": " + count + ":\n").toUtf8();
    for (const LoadRow& row : rows)
        lines += row.csv();
    return lines;
}

} // namespace programador
