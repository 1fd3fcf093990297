#pragma once

#include "reasons.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <stdexcept>

namespace programador {

// Any failure of the serial line. The load sequence's error trap catches it, and shows its
// reason, when it has one, below "Error en puerto serie".
class SerialError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;   // a failure with nothing to tell the operator
    // what names the port ("COM3 /dev/ttyUSB0", or the device's path); detail, the system's
    // words where the cause has none of its own.
    SerialError(Cause cause, const QString& what, const QString& detail = {})
        : std::runtime_error(reasonLine(what, cause, detail).toStdString()), cause(cause),
          reason(reasonLine(what, cause, detail))
    {
    }

    Cause cause = Cause::PortFailed;
    QString reason;   // the line for the operator; empty when there is nothing to tell
};

// The serial port operations the transfer and the port dialog use. Every failure is
// raised as SerialError; nothing is reported through return codes.
class SerialLine {
public:
    virtual ~SerialLine() = default;

    virtual void setPortNumber(std::int16_t port) = 0;       // COM1..COM16 for the next open
    virtual void setSettings(const QString& settings) = 0;   // "9600,N,8,1"
    virtual void setInputLength(std::int16_t length) = 0;    // 1: a read returns one byte
    virtual void open() = 0;
    virtual void close() = 0;                                // writes out what is queued first
    virtual bool isOpen() const = 0;
    // Queues, in order, what the line takes at once and returns how many bytes that was; a
    // line whose device stopped reading takes fewer, or none, and wakes the event loop when it
    // has room again. CooperativeWait::write waits for the rest.
    virtual qsizetype writeSome(const QByteArray& bytes) = 0;
    virtual int bytesWaiting() = 0;                          // received bytes not yet read
    virtual QByteArray read() = 0;                           // oldest received byte(s), up to the input length
    virtual void checkAlive() = 0;                           // raises when the device has gone
    virtual QString name() const = 0;                        // the port, as a failure's reason names it
};

} // namespace programador
