#pragma once

#include "cooperative_wait.h"
#include "firmware_image.h"
#include "transfer_view.h"

#include <QByteArray>

#include <cstdint>
#include <stdexcept>

namespace programador {

// Raised when a block would read beyond the end of the image buffer; no byte of that
// block is written.
class ImageIndexError : public std::out_of_range {
public:
    using std::out_of_range::out_of_range;
};

// The sending side of XMODEM: 128-byte blocks, 8-bit additive checksum, no retransmission.
class XmodemSender {
public:
    XmodemSender(CooperativeWait& wait, const FirmwareImage& image, TransferView& view);

    std::int16_t espera_nak();      // 0 = NAK; 1 = 40 ticks or cancel
    std::int16_t envia_paquete();   // 0 = ACK, more to send; 1 = ACK of the last; 2 = no ACK
    std::int16_t espera_ack();      // 0 = ACK; 1 = 10 ticks

    std::int32_t bloque = 0;        // number of the block being sent, from 1
    std::uint8_t nro_bloque = 0;    // block number on the line, 255 is followed by 0
    std::int32_t indice = 0;        // index in buffer of the next byte to send
    std::int32_t checksum = 0;      // after a block: the checksum byte sent
    QByteArray paquete;             // after a block: the 132 bytes written

private:
    CooperativeWait& wait_;
    const FirmwareImage& image_;
    TransferView& view_;
};

} // namespace programador
