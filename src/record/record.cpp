#include "record.h"

#include "destination.h"
#include "file_names.h"
#include "ledger.h"
#include "pg_table.h"
#include "reasons.h"
#include "sender.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>

namespace programador {

namespace {

// The end waits this long at most for the disk, and for the server.
constexpr int kDiskMs = 5000;
constexpr int kServerMs = 2000;

} // namespace

QString RecordNews::line() const
{
    const QString head = cause == Cause::None ? what : reasonLine(what, cause, words);
    return then.isEmpty() ? head : head + (cause == Cause::None ? QStringLiteral(": ") : QStringLiteral("; ")) + then;
}

// What the owner's thread and the record's two threads share. When a thread is held in a write
// or on the network at the end, all of it is left to the process, so that whatever that thread
// does when it wakes touches memory that is still there.
struct Record::Shared {
    QString station, shown, storeName;
    bool database = false;
    std::unique_ptr<RowStore> store;
    RecordLedger ledger;
    QObject owner;                           // the owner's thread: what the threads say goes there
    std::unique_ptr<QThread> thread;         // writes the rows
    std::unique_ptr<QObject> writer;         // lives in thread
    QTimer* retry = nullptr;                 // writer's child: rows kept in memory, tried again
    std::unique_ptr<QThread> senderThread;   // sends the rows to the database
    std::unique_ptr<SpoolSender> sender;     // lives in senderThread

    // Touched only in the writer's thread.
    bool failing = false;
    std::atomic<bool> keeping = false;       // rows the file did not take wait in memory

    // Touched only in the owner's thread.
    Record* record = nullptr;
    struct Callback {
        bool bound = false;
        QPointer<QObject> context;
        std::function<void()> call;
    };
    std::map<quint64, Callback> callbacks;   // by the row's number
    QEventLoop* waiting = nullptr;
    bool abandoned = false, stuck = false;

    void write();
    void spoolKept();
    void tell(const RecordNews& news);
    void handled(quint64 through);
    void poke() const
    {
        if (sender)
            QMetaObject::invokeMethod(sender.get(), [s = sender.get()] { s->send(); }, Qt::QueuedConnection);
    }
};

std::unique_ptr<Record> Record::open(const QString& destination, const QString& station, QString& why, bool askServer)
{
    const std::optional<Destination> where = Destination::parse(destination, why);
    if (!where)
        return nullptr;
    auto d = std::make_unique<Shared>();
    d->station = station;
    d->shown = where->shown;
    d->database = where->database;
    QString ownFolder;
    QList<QByteArray> missing;
    if (!where->database) {
        auto file = std::make_unique<CsvFile>();
        if (!file->open(destination, why))
            return nullptr;
        missing = file->missing();
        d->store = std::move(file);
    } else {
        // A server that refuses the role is said now, while the operator is there to mend it; one out
        // of reach is not waited for: its rows wait in the spool.
        if (askServer) {
            PgTable table(*where);
            const PgTable::Answer answer = table.open();
            if (answer.reach == PgTable::Reach::Refused) {
                const QString remedy = PgTable::remedy(answer.cause, *where);
                why = reasonLine(where->shown, answer.cause, answer.words) + (remedy.isEmpty() ? QString() : QStringLiteral("; ") + remedy);
                return nullptr;
            }
        }
        auto spool = std::make_unique<Spool>(*where);
        spool->sweep();
        spool->adopt(where->text);
        ownFolder = spool->folder();
        d->store = std::move(spool);
    }
    d->storeName = printableName(d->store->name());
    auto record = std::unique_ptr<Record>(new Record(std::move(d)));
    Shared* s = record->d_.get();
    if (where->database) {
        s->sender = std::make_unique<SpoolSender>(*where, s->ledger, [s](const RecordNews& news) { s->tell(news); });
        s->senderThread = std::make_unique<QThread>();
        s->senderThread->setObjectName(QStringLiteral("database"));
        s->sender->moveToThread(s->senderThread.get());
        s->senderThread->start();
        // What earlier programs left in the spool goes first.
        s->poke();
    }
    // A file begun by an earlier version keeps its columns; what its rows lack is said once.
    if (!missing.isEmpty())
        s->tell({s->shown, Cause::None, {},
                 QStringLiteral("su encabezado no tiene %1, que no se %2 en él; para tenerlas, cámbiele el nombre y "
                                "el programa empieza un archivo nuevo")
                     .arg(listed(missing), missing.size() == 1 ? QStringLiteral("escribe") : QStringLiteral("escriben")),
                 true});
    // No row waits unseen: what this user's spool holds for other destinations is said once.
    for (const Spool::Other& other : Spool::others(ownFolder))
        s->tell({printableName(other.folder), Cause::None, {},
                 QStringLiteral("%1 aquí para %2, que no es el destino de este programa; las envía el próximo "
                                "programa que tenga ese destino")
                     .arg(other.rows == 1 ? QStringLiteral("1 fila espera") : QStringLiteral("%1 filas esperan").arg(other.rows),
                          other.destination.isEmpty() ? QStringLiteral("un destino que la carpeta no dice") : other.destination),
                 true});
    return record;
}

std::unique_ptr<Record> Record::onStore(std::unique_ptr<RowStore> store, const QString& station)
{
    auto d = std::make_unique<Shared>();
    d->station = station;
    d->storeName = d->shown = printableName(store->name());
    d->store = std::move(store);
    return std::unique_ptr<Record>(new Record(std::move(d)));
}

Record::Record(std::unique_ptr<Shared> shared) : d_(std::move(shared))
{
    d_->record = this;
    d_->thread = std::make_unique<QThread>();
    d_->thread->setObjectName(QStringLiteral("record"));
    d_->writer = std::make_unique<QObject>();
    d_->retry = new QTimer(d_->writer.get());
    d_->retry->setSingleShot(true);
    d_->retry->setInterval(5000);
    QObject::connect(d_->retry, &QTimer::timeout, d_->writer.get(), [s = d_.get()] { s->write(); });
    d_->writer->moveToThread(d_->thread.get());
    d_->thread->start();
}

Record::~Record()
{
    said = nullptr;
    d_->record = nullptr;
    d_->callbacks.clear();
    if (leftBehind()) {
        (void)d_.release();   // the process is ending; a thread may still wake in it
        return;
    }
    // Each thread stops its own timers and then its loop, in that order.
    if (d_->sender) {
        QMetaObject::invokeMethod(d_->sender.get(), [s = d_->sender.get()] {
            s->stop();
            QThread::currentThread()->quit();
        }, Qt::QueuedConnection);
        if (!d_->senderThread->wait(kServerMs)) {
            (void)d_.release();
            return;
        }
    }
    QMetaObject::invokeMethod(d_->writer.get(), [s = d_.get()] {
        s->retry->stop();
        QThread::currentThread()->quit();
    }, Qt::QueuedConnection);
    if (!d_->thread->wait(kDiskMs))
        (void)d_.release();
}

void Record::append(LoadRow row, QObject* context, std::function<void()> handled)
{
    row.station = d_->station;
    row.version = QStringLiteral(PROGRAMADOR_VERSION);
    quint64 number = 0;
    {
        const std::lock_guard lock(d_->ledger.mutex);
        number = ++d_->ledger.appended;
        d_->ledger.queued.append({row, number});
    }
    if (handled)
        d_->callbacks[number] = {context != nullptr, context, std::move(handled)};
    QMetaObject::invokeMethod(d_->writer.get(), [s = d_.get()] { s->write(); }, Qt::QueuedConnection);
}

// In the writer's thread: every row queued, in order, into the store.
void Record::Shared::write()
{
    quint64 through = 0;
    {
        const std::lock_guard lock(ledger.mutex);
        through = ledger.appended;
    }
    bool moved = false;   // rows for the sender, in the spool or in memory
    for (;;) {
        LoadRow row;
        {
            const std::lock_guard lock(ledger.mutex);
            if (ledger.ended || ledger.queued.isEmpty())
                break;
            row = ledger.queued.first().row;
        }
        bool taken = false;
        const int error = store->put(row, [this, &taken](const std::function<int()>& step) {
            const std::lock_guard lock(ledger.mutex);
            if (ledger.ended)   // after the end, nothing goes into the store
                return ECANCELED;
            const int error = step();
            if (error == 0)
                ledger.queued.removeFirst(), taken = true;
            return error;
        });
        if (taken) {
            moved = true;
            if (error != 0)   // in the file or the spool for every reader; the disk did not confirm it
                tell({storeName, writeCause(error), systemText(error), QStringLiteral("el disco no confirmó la última fila"), true});
            if (failing)
                tell({storeName, Cause::None, {},
                      database ? QStringLiteral("la cola de la PC se escribe de nuevo") : QStringLiteral("se escribe de nuevo"), false});
            failing = false;
            continue;
        }
        if (error == ECANCELED)
            break;   // the end came first: the row is among those printed
        if (!failing)
            tell({storeName, writeCause(error), systemText(error),
                  database ? QStringLiteral("las filas van directo al servidor y quedan en la memoria hasta que llegan")
                           : QStringLiteral("las cargas siguen y sus filas quedan en la memoria hasta que el archivo las tome"),
                  true});
        failing = true;
        if (!database)
            break;   // the file's rows wait in order, in memory, for the next try
        const std::lock_guard lock(ledger.mutex);
        if (!ledger.ended)
            ledger.memory << ledger.queued.takeFirst().row, moved = true;
    }
    if (database && !failing)
        spoolKept();
    keeping = !database && failing;
    if (keeping)
        retry->start();
    if (moved)
        poke();
    QMetaObject::invokeMethod(&owner, [this, through] { handled(through); }, Qt::QueuedConnection);
}

// Rows that went to memory while the spool took nothing go into it once it takes rows again; one
// the server took meanwhile is not spooled again.
void Record::Shared::spoolKept()
{
    QList<LoadRow> kept;
    {
        const std::lock_guard lock(ledger.mutex);
        kept = ledger.memory;
    }
    for (const LoadRow& row : kept) {
        store->put(row, [this, &row](const std::function<int()>& step) {
            const std::lock_guard lock(ledger.mutex);
            const auto there = [&row](const LoadRow& kept) { return kept.id == row.id; };
            if (ledger.ended || std::none_of(ledger.memory.cbegin(), ledger.memory.cend(), there))
                return ECANCELED;
            const int error = step();
            if (error == 0)
                ledger.memory.removeIf(there);
            return error;
        });
    }
}

void Record::Shared::tell(const RecordNews& news)
{
    QMetaObject::invokeMethod(&owner, [this, news] {
        if (record && record->said)
            record->said(news);
    }, Qt::QueuedConnection);
}

void Record::Shared::handled(quint64 through)
{
    // Taken out before it is called: a call may append the next row.
    while (!callbacks.empty() && callbacks.begin()->first <= through) {
        const Callback callback = std::move(callbacks.extract(callbacks.begin()).mapped());
        if (!callback.bound || callback.context)
            callback.call();
    }
}

bool Record::await(QObject* object, std::function<void()> work, int limitMs)
{
    if (d_->abandoned)
        return false;
    // Whose loop a late answer would end, once this wait is over: none.
    struct Wait {
        QEventLoop* loop = nullptr;
        std::atomic<bool> done = false;
    };
    const auto wait = std::make_shared<Wait>();
    QEventLoop loop;
    wait->loop = d_->waiting = &loop;
    QMetaObject::invokeMethod(object, [work = std::move(work), wait, owner = &d_->owner] {
        work();
        wait->done = true;
        QMetaObject::invokeMethod(owner, [wait] {
            if (wait->loop)
                wait->loop->quit();
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (limitMs >= 0)
        limit.start(limitMs);
    if (!wait->done)
        loop.exec();
    wait->loop = d_->waiting = nullptr;
    return wait->done;
}

void Record::flush()
{
    await(d_->writer.get(), [s = d_.get()] { s->write(); });
}

QList<LoadRow> Record::finish()
{
    Shared& d = *d_;
    // The disk's last try; a write held longer (a lock another program keeps, a disk that hangs)
    // is left, and its row is printed instead.
    if (!await(d.writer.get(), [s = &d] { s->write(); }, kDiskMs) && !d.abandoned)
        d.stuck = true;
    if (d.sender && !d.abandoned) {
        // Rows on their way get a last chance while the server answers, never more than a moment:
        // the pass under way ends, then one more while rows wait and the server is not known away.
        QElapsedTimer clock;
        clock.start();
        const auto outstanding = [&d] {
            const std::lock_guard lock(d.ledger.mutex);
            return !d.ledger.memory.isEmpty() || !d.sender->spool().pending().isEmpty();
        };
        SpoolSender* sender = d.sender.get();
        bool over = !sender->busy() || await(sender, [] {}, kServerMs);
        if (over && outstanding() && !sender->away())
            over = await(sender, [sender] { sender->send(); }, int(std::max<qint64>(0, kServerMs - clock.elapsed())));
        if (!over || sender->busy())
            d.stuck = true;
    }
    // What the sender said in its last pass (the server away, the rows flowing) comes before the
    // end's own line.
    QCoreApplication::sendPostedEvents(&d.owner, QEvent::MetaCall);
    if (const qsizetype left = d.sender && !d.abandoned ? d.sender->spool().pending().size() : 0; left > 0 && said)
        said({d.shown, Cause::None, {},
              QStringLiteral("%1 en %2; las enviará el próximo programa que se inicie con este destino")
                  .arg(left == 1 ? QStringLiteral("1 fila espera") : QStringLiteral("%1 filas esperan").arg(left),
                       printableName(d.sender->spool().folder())),
              true});
    // What the threads said so far is heard; what they say after this is not, and nothing more
    // goes into a store.
    QCoreApplication::sendPostedEvents(&d.owner, QEvent::MetaCall);
    said = nullptr;
    QList<LoadRow> rows;
    const std::lock_guard lock(d.ledger.mutex);
    d.ledger.ended = true;
    for (const RecordLedger::Queued& queued : d.ledger.queued)
        rows << queued.row;
    rows << d.ledger.memory << d.ledger.refused;
    return rows;
}

void Record::abandon()
{
    d_->abandoned = true;
    if (d_->waiting)
        d_->waiting->quit();
}

QByteArray Record::unwritten(const QList<LoadRow>& rows) const
{
    if (rows.isEmpty())
        return {};
    QString count;
    if (d_->database)
        count = rows.size() == 1 ? QStringLiteral("1 fila no llegó al servidor ni a la cola de la PC; es esta, en SQL para psql")
                                 : QStringLiteral("%1 filas no llegaron al servidor ni a la cola de la PC; son estas, en SQL para psql")
                                       .arg(rows.size());
    else
        count = rows.size() == 1 ? QStringLiteral("1 fila no se pudo escribir; es esta")
                                 : QStringLiteral("%1 filas no se pudieron escribir; son estas").arg(rows.size());
    QByteArray lines = ("programador: " + (d_->database ? d_->shown : d_->storeName) + ": " + count + ":\n").toUtf8();
    for (const LoadRow& row : rows)
        lines += d_->database ? row.sql() : row.csv();
    return lines;
}

bool Record::database() const
{
    return d_->database;
}

QString Record::shown() const
{
    return d_->shown;
}

qsizetype Record::inMemory() const
{
    const std::lock_guard lock(d_->ledger.mutex);
    return (d_->keeping ? d_->ledger.queued.size() : 0) + d_->ledger.memory.size() + d_->ledger.refused.size();
}

qsizetype Record::waiting() const
{
    return d_->sender ? d_->sender->spool().pending().size() : 0;
}

bool Record::leftBehind() const
{
    return d_->abandoned || d_->stuck;
}

} // namespace programador
