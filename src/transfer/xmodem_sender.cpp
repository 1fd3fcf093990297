#include "xmodem_sender.h"

#include <string>

namespace programador {

namespace {
constexpr char kSoh = 0x01;
constexpr char kAck = 0x06;
constexpr char kNak = 0x15;
constexpr std::int16_t kNakTicks = 40;
constexpr std::int16_t kAckTicks = 10;
constexpr std::int32_t kLastIndex = FirmwareImage::kBufferSize - 1;   // 250000
} // namespace

XmodemSender::XmodemSender(CooperativeWait& wait, const FirmwareImage& image, TransferView& view)
    : wait_(wait)
    , image_(image)
    , view_(view)
{
}

std::int16_t XmodemSender::espera_nak()
{
    return wait_.waitFor(kNak, kNakTicks, CooperativeWait::Cancel::Honoured);
}

std::int16_t XmodemSender::espera_ack()
{
    // "Cancelar" does not cut a block short: the load sequence sees it before the next one.
    return wait_.waitFor(kAck, kAckTicks, CooperativeWait::Cancel::Ignored);
}

std::int16_t XmodemSender::envia_paquete()
{
    view_.setProgressValue(static_cast<float>(bloque));

    // The whole block is checked before it is built: a block that would reach past the
    // buffer is refused without a byte of it on the line.
    if (indice < 0 || indice > kLastIndex - (FirmwareImage::kBlockSize - 1)) {
        throw ImageIndexError("block " + std::to_string(bloque) + " needs image index "
                              + std::to_string(indice + FirmwareImage::kBlockSize - 1)
                              + ", the buffer ends at " + std::to_string(kLastIndex));
    }

    checksum = 0;
    paquete.clear();
    paquete.reserve(3 + FirmwareImage::kBlockSize + 1);
    paquete.append(kSoh);
    paquete.append(static_cast<char>(nro_bloque));
    paquete.append(static_cast<char>(255 - nro_bloque));
    for (std::int16_t i = 0; i < FirmwareImage::kBlockSize; ++i) {
        const std::uint8_t byte = image_.buffer[static_cast<std::size_t>(indice)];
        paquete.append(static_cast<char>(byte));
        checksum += byte;
        ++indice;
    }
    checksum %= 256;
    paquete.append(static_cast<char>(checksum));

    wait_.write(paquete);   // the whole block at once
    if (espera_ack() == 1)
        return 2;
    return bloque * FirmwareImage::kBlockSize < image_.largo_archivo ? 0 : 1;
}

} // namespace programador
