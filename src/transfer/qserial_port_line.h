#pragma once

#include "serial_line.h"

#include <QSerialPort>
#include <QString>

namespace programador {

class PortNumbering;

// The program's serial line: one QSerialPort, raw, 9600 baud, 8 data bits, no parity,
// one stop bit, no flow control, no use of the modem lines.
//
// COMn is what the port numbering says it stands for (PROGRAMADOR_COMn first). Every failure
// raises SerialError with its cause, naming the port ("COM3 /dev/ttyUSB0").
class QSerialPortLine : public SerialLine {
public:
    // numbering: what COM1..COM4 stand for; without it only PROGRAMADOR_COMn names a port.
    // device: the one device every port number opens (the command line's --device).
    explicit QSerialPortLine(PortNumbering* numbering, QString device = {});
    ~QSerialPortLine() override;

    void setPortNumber(std::int16_t port) override;   // applies at the next open
    void setSettings(const QString& settings) override;
    void setInputLength(std::int16_t length) override;
    void open() override;                             // an open line is closed and opened anew
    void close() override;
    bool isOpen() const override;
    void write(const QByteArray& bytes) override;
    int bytesWaiting() override;
    QByteArray read() override;

private:
    [[noreturn]] void fail(Cause cause, const QString& detail = {});
    void checkAlive();
    short pollNow() const;   // poll(2) revents of the tty, at once
    bool hungUp() const;
    void release();          // closes the port and the descriptor held beside it

    PortNumbering* const numbering_;
    QSerialPort port_;
    std::int16_t portNumber_ = 1;
    std::int16_t inputLength_ = 1;
    const QString fixedDevice_;
    QString device_;   // the path opened
    QString named_;    // the port as the operator reads it: "COM3 /dev/ttyUSB0"
    int held_ = -1;    // the device opened here, beside Qt's descriptor
    bool broken_ = false;
    Cause brokenCause_ = Cause::None;
};

} // namespace programador
