#pragma once

#include "port_numbering.h"
#include "serial_line.h"

#include <QSerialPort>
#include <QSocketNotifier>
#include <QString>

#include <memory>

namespace programador {

// The program's serial line: one QSerialPort, raw, 9600 baud, 8 data bits, no parity,
// one stop bit, no flow control, no use of the modem lines.
//
// What COMn stands for is asked of the resolver at each open: the port numbering in the
// window, what the command line settled on for its devices. Every failure raises SerialError
// with its cause, naming the port ("COM3 /dev/ttyUSB0"), taken from the failing call's own
// error. The device is locked as itself, whatever name it was opened by, so no second program
// talks on the same line through another name, root included.
class QSerialPortLine : public SerialLine {
public:
    explicit QSerialPortLine(PortResolver resolve);
    ~QSerialPortLine() override;

    void setPortNumber(std::int16_t port) override;   // applies at the next open
    void setSettings(const QString& settings) override;
    void setInputLength(std::int16_t length) override;
    void open() override;                             // an open line is closed and opened anew
    void close() override;
    bool isOpen() const override;
    qsizetype writeSome(const QByteArray& bytes) override;
    int bytesWaiting() override;
    QByteArray read() override;
    void checkAlive() override;
    QString name() const override { return named_; }

private:
    [[noreturn]] void fail(Cause cause, const QString& detail = {});
    // Waits, a bounded time, for the tty to send what it holds.
    bool drain();
    short pollNow() const;   // poll(2) revents of the tty, at once
    bool hungUp() const;
    void release();          // closes the port and the descriptor held beside it

    const PortResolver resolve_;
    QSerialPort port_;
    std::int16_t portNumber_ = 1;
    std::int16_t inputLength_ = 1;
    QString device_;   // the path opened
    QString named_;    // the port as the operator reads it: "COM3 /dev/ttyUSB0"
    int held_ = -1;    // the device opened here, beside Qt's descriptor
    std::unique_ptr<QSocketNotifier> room_;   // wakes the event loop when a full tty has room
    bool broken_ = false;
    Cause brokenCause_ = Cause::None;
};

} // namespace programador
