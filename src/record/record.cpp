#include "record.h"

#include "file_names.h"
#include "reasons.h"

#include <QEventLoop>

namespace programador {

std::unique_ptr<Record> Record::open(const QString& path, QString& why)
{
    auto file = std::make_unique<CsvFile>();
    if (!file->open(path, why))
        return nullptr;
    return std::unique_ptr<Record>(new Record(std::move(file)));
}

Record::Record(std::unique_ptr<CsvFile> file)
    : file_(std::move(file)), thread_(std::make_unique<QThread>()), writer_(std::make_unique<QObject>())
{
    thread_->setObjectName(QStringLiteral("record"));
    writer_->moveToThread(thread_.get());
    thread_->start();
}

Record::~Record()
{
    // A thread held in a write that never returned (a signal ended the wait for it) is left to
    // the process, which is ending.
    if (abandoned_) {
        (void)writer_.release();
        (void)thread_.release();
        return;
    }
    thread_->quit();
    thread_->wait();
}

void Record::append(const LoadRow& row, std::function<void()> handled)
{
    QMetaObject::invokeMethod(writer_.get(), [this, row, handled = std::move(handled)] {
        {
            const std::lock_guard lock(mutex_);
            kept_ << row;
        }
        write();
        if (handled)
            QMetaObject::invokeMethod(&owner_, handled, Qt::QueuedConnection);
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
        if (const int error = file_->append(row.csv()); error != 0) {
            if (!failing_)
                tell(reasonLine(printableName(file_->path()), writeCause(error), systemText(error))
                     + QStringLiteral("; las cargas siguen y sus filas esperan"));
            failing_ = true;
            return;
        }
        {
            const std::lock_guard lock(mutex_);
            kept_.removeFirst();
        }
        if (failing_)
            tell(printableName(file_->path()) + QStringLiteral(": se escribe de nuevo"));
        failing_ = false;
    }
}

void Record::tell(const QString& line)
{
    QMetaObject::invokeMethod(&owner_, [this, line] {
        if (said)
            said(line);
    }, Qt::QueuedConnection);
}

QList<LoadRow> Record::finish()
{
    QEventLoop loop;
    finishing_ = &loop;
    QMetaObject::invokeMethod(writer_.get(), [this] {
        write();
        QMetaObject::invokeMethod(&owner_, [this] {
            if (finishing_)
                finishing_->quit();
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
    if (!abandoned_)
        loop.exec();
    finishing_ = nullptr;
    // What the thread says after this is no longer heard.
    said = nullptr;
    const std::lock_guard lock(mutex_);
    return kept_;
}

void Record::abandon()
{
    abandoned_ = true;
    if (finishing_)
        finishing_->quit();
}

QByteArray Record::unwritten(const QList<LoadRow>& rows) const
{
    if (rows.isEmpty())
        return {};
    const QString count = rows.size() == 1 ? QStringLiteral("1 fila no se pudo escribir; es esta")
                                           : QStringLiteral("%1 filas no se pudieron escribir; son estas").arg(rows.size());
    QByteArray lines = ("programador: " + printableName(file_->path()) + ": " + count + ":\n").toUtf8();
    for (const LoadRow& row : rows)
        lines += row.csv();
    return lines;
}

} // namespace programador
