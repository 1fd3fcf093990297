#include "closed_serial_line.h"

namespace programador {

void ClosedSerialLine::setPortNumber(std::int16_t) {}
void ClosedSerialLine::setSettings(const QString&) {}
void ClosedSerialLine::setInputLength(std::int16_t) {}
void ClosedSerialLine::open() { throw SerialError("no serial line"); }
void ClosedSerialLine::close() {}
bool ClosedSerialLine::isOpen() const { return false; }
void ClosedSerialLine::write(const QByteArray&) { throw SerialError("port not open"); }
int ClosedSerialLine::bytesWaiting() { throw SerialError("port not open"); }
QByteArray ClosedSerialLine::read() { throw SerialError("port not open"); }

} // namespace programador
