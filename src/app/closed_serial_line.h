#pragma once

#include "serial_line.h"

namespace programador {

// A serial line with no port behind it: opening fails with SerialError, so a load run or a
// port probe ends through its error exit. Stands in where no real line is built.
class ClosedSerialLine : public SerialLine {
public:
    void setPortNumber(std::int16_t port) override;
    void setSettings(const QString& settings) override;
    void setInputLength(std::int16_t length) override;
    void open() override;
    void close() override;
    bool isOpen() const override;
    void write(const QByteArray& bytes) override;
    int bytesWaiting() override;
    QByteArray read() override;
};

} // namespace programador
