#pragma once

#include <array>
#include <cstdint>

namespace programador {

// The loaded firmware image. All zero at start; image loading fills it.
struct FirmwareImage {
    static constexpr std::int32_t kBufferSize = 250001;   // indices 0 to 250000
    static constexpr std::int32_t kBlockSize = 128;
    static constexpr std::int32_t kMaxSendable = 1953 * kBlockSize; // 249984 bytes

    std::array<std::uint8_t, kBufferSize> buffer{};
    std::int32_t largo_archivo = 0;
};

} // namespace programador
