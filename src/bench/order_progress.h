#pragma once

#include "bench.h"
#include "order_file.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace programador {

// What an order has come to over every row of a bench: its boards "Programa listo" and with
// error, kept on disk by the order's name and its image so that a bench closed or a PC
// restarted goes on from them; each row's failed boards in a row; and the boards of the last
// hour. A load counts once its row is recorded.
class OrderProgress {
public:
    // Kept in folder ($XDG_STATE_HOME/programador/ordenes), a file for each order and image.
    OrderProgress(Order order, QString folder);
    // What was kept for the order; false, with the reason, for a file that is there and cannot
    // be used (nothing is then counted on top of it).
    bool read(QString& why);

    // What one load changed.
    enum class Change { None, RowStopped, Completed };
    // A row's load ended so, at `at`; its count is kept at once (trouble() says when it could
    // not be). A row stops after the order's failures in a row; an interrupted load is none.
    Change add(int row, Verdict verdict, const QString& cause, const QDateTime& at);
    // The last time the count could not be kept: why; empty when it was.
    const QString& trouble() const { return trouble_; }

    bool complete() const { return order_.count > 0 && ready_ >= order_.count; }
    bool stopped(int row) const { return failures_.value(row).size() >= order_.failuresInRow; }
    // A stopped row's failed boards, oldest first, each by its cause.
    QStringList causes(int row) const { return failures_.value(row); }
    void restart(int row) { failures_.remove(row); }

    int ready() const { return ready_; }
    int failed() const { return failed_; }
    int left() const { return order_.count > 0 ? std::max(0, order_.count - ready_) : 0; }
    int beyond() const { return order_.count > 0 ? std::max(0, ready_ - order_.count) : 0; }
    // Boards ended in the hour before now, ready or not; over a shorter time since the first
    // board of this bench, as many an hour at that pace.
    int perHour(const QDateTime& now) const;
    // The line at the top of the bench: "120 listas · 3 con error · 97,6 % · 45 por hora · faltan 380".
    QString figures(const QDateTime& now) const;

    const Order& order() const { return order_; }
    QString file() const;

private:
    bool keep();

    const Order order_;
    const QString folder_;
    int ready_ = 0, failed_ = 0;
    QMap<int, QStringList> failures_;   // row -> the causes of its failures in a row
    QList<QDateTime> ended_;            // the boards of the last hour, oldest first
    QDateTime first_;                   // the first board this bench counted
    QString trouble_;
};

} // namespace programador
