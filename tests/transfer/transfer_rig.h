#pragma once

#include "cooperative_wait.h"
#include "firmware_image.h"
#include "handshake.h"
#include "load_sequence.h"
#include "recording_messages.h"
#include "recording_view.h"
#include "scripted_device.h"
#include "scripted_line.h"
#include "tick_counters.h"
#include "virtual_time.h"
#include "xmodem_sender.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

namespace programador::testing {

// The texts the operator reads, spelt out here so that a changed text fails a test.
inline const QString kFeedDevice = QStringLiteral("Alimente el equipo");
inline const QString kConnecting = QStringLiteral("Estableciendo conexi\u00f3n...");
inline const QString kStartingXmodem = QStringLiteral("Iniciando protocolo XMODEM...");
inline const QString kSending = QStringLiteral("Transmitiendo archivo...");
inline const QString kDone = QStringLiteral("Programa listo");
inline const QString kCommError = QStringLiteral("Error de comunicacion");
inline const QString kPortError = QStringLiteral("Error en puerto serie");

inline const QByteArray kNak(1, '\x15');
inline const QByteArray kAck(1, '\x06');
inline const QByteArray kEot(1, '\x04');

// One transfer's worth of objects on virtual time, wired as the program wires them. The
// journal interleaves what the load sequence does on the line, the window and the
// message boxes.
struct Rig {
    explicit Rig(qint64 timer1Phase = 500, qint64 timer2Phase = 50)
        : clock(ticks, timer1Phase, timer2Phase)
    {
        line.journal = &journal;
        view.journal = &journal;
        messages.onShow = [this] { journal << QStringLiteral("message:") + messages.shown.last().text; };
    }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    // A device that announces itself, answers NAK and acknowledges every block.
    ScriptedDevice& attachDevice()
    {
        device = std::make_unique<ScriptedDevice>(line);
        return *device;
    }

    // An image of n bytes that is easy to tell apart from a shifted one.
    void loadImage(std::int32_t n)
    {
        for (std::int32_t i = 0; i < n; ++i)
            image.buffer[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((i * 7 + i / 256 + 3) & 0xFF);
        image.largo_archivo = n;
    }
    QByteArray imageBytes(std::int32_t from, std::int32_t n) const
    {
        return QByteArray(reinterpret_cast<const char*>(image.buffer.data()) + from, n);
    }

    // A timed measurement: how long fn ran in virtual milliseconds.
    qint64 elapsed(const std::function<void()>& fn)
    {
        const qint64 start = clock.now();
        fn();
        return clock.now() - start;
    }

    QStringList journalTail(int n) const { return journal.mid(journal.size() - n); }

    TickCounters ticks;
    VirtualTime clock;
    ScriptedLine line{clock};
    CooperativeWait wait{ticks, clock, line};
    RecordingView view;
    std::unique_ptr<FirmwareImage> imageStore = std::make_unique<FirmwareImage>();
    FirmwareImage& image = *imageStore;
    XmodemSender sender{wait, image, view};
    RecordingMessages messages;
    std::int16_t puerto = 3;
    LoadSequence sequence{wait, sender, view, messages, puerto};
    std::unique_ptr<ScriptedDevice> device;
    QStringList journal;
};

} // namespace programador::testing
