#pragma once

#include "serial_line.h"

#include <QSerialPort>
#include <QString>

namespace programador {

// The program's serial line: one QSerialPort, raw, 9600 baud, 8 data bits, no parity,
// one stop bit, no flow control, no use of the modem lines.
//
// COMn is the device named by PROGRAMADOR_COMn when that is set and not empty,
// otherwise /dev/ttyS{n-1}. Every failure raises SerialError and writes one line to
// standard error with the device and the system's reason.
class QSerialPortLine : public SerialLine {
public:
    // device: the one device every port number opens (the command line's --device);
    // empty for COM1..COM4 as above.
    explicit QSerialPortLine(QString device = {});
    ~QSerialPortLine() override;

    static QString devicePath(std::int16_t port);

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
    [[noreturn]] void fail(const QString& reason);
    void checkAlive();
    short pollNow() const;   // poll(2) revents of the tty, at once
    bool hungUp() const;

    QSerialPort port_;
    std::int16_t portNumber_ = 1;
    std::int16_t inputLength_ = 1;
    const QString fixedDevice_;
    QString device_;
    bool broken_ = false;
    bool brokenReported_ = false;   // its one line on standard error has been written
    QString brokenReason_;
};

} // namespace programador
