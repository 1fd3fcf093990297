// The transfer fuzzed: the real handshake, waits, sender and load sequence against a device
// whose bytes and their times, the operator's clicks and the port's failures all come from
// the input, on virtual time. Whatever the input, the run must end in the time its waits
// allow, put on the line only what the protocol allows, and end through the exit that fits.
// Built with clang and libFuzzer by "make fuzz"; in the test build it replays its corpus and
// a fixed series of generated inputs.
#include "fuzz_replay.h"
#include "load_sequence.h"
#include "recording_messages.h"
#include "virtual_line.h"
#include "xmodem_sender.h"

#include <memory>

using namespace programador;
using namespace programador::testing;

namespace {

// Reads the input a byte at a time; zeros once it is used up.
struct Input {
    const std::uint8_t* at;
    std::size_t left;
    int byte() { return left ? (--left, *at++) : 0; }
    int upTo(int most) { return (byte() << 8 | byte()) % (most + 1); }
    QByteArray bytes(int most)
    {
        QByteArray out;
        for (int n = upTo(most); n > 0; --n)
            out += char(byte());
        return out;
    }
};

const char* const kPortEvents[] = {"", "port", "open", "close", "*", "B1", "B2", "B3", "EOT"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in{data, size};
    TickCounters ticks;
    VirtualLine line;
    line.ticks = &ticks;
    CooperativeWait wait(ticks, line, line);
    QuietView view;
    RecordingMessages messages;
    auto image = std::make_unique<FirmwareImage>();
    XmodemSender sender(wait, *image, view);
    const std::int16_t puerto = 1;
    LoadSequence sequence(wait, sender, view, messages, puerto);

    const int lengths[] = {249984, 249985};
    image->largo_archivo = in.byte() == 0 ? lengths[in.byte() % 2] : in.upTo(700);   // the longest, now and then
    for (int i = 0; i < image->largo_archivo; ++i)
        image->buffer[i] = i < 700 ? in.byte() : i * 7;
    line.device.sends.clear();
    for (int n = in.upTo(6); n > 0; --n)
        line.device.sends.append({in.upTo(25000), in.bytes(6)});
    line.device.nakAfter = in.upTo(45000) - 1000;
    line.device.nak = in.byte() < 200 ? QByteArray("\x15") : in.bytes(3);
    for (int k = 1; k <= 4; ++k)
        line.device.replies[k] = in.byte() < 160 ? QByteArray("\x06") : in.bytes(4);
    line.failOn = kPortEvents[in.byte() % 9];
    line.vanishAfter = kPortEvents[in.byte() % 9];
    line.stallAt = in.upTo(60000) - 1;
    qint64 lastClick = -1;
    for (int n = in.upTo(2); n > 0; --n) {
        const qint64 at = in.upTo(60000);
        const bool abandon = in.byte() < 32;
        line.at(at, [&, at, abandon] { abandon ? wait.abandon() : sequence.Command2_Click(); lastClick = abandon ? lastClick : at; });
    }

    // What the loader wrote, each with how much it had read by then, and whether the port failed.
    QList<std::pair<VirtualLine::Event, qsizetype>> writes;
    const QString failOn = line.failOn;
    bool portFailed = false;
    line.onEvent = [&](const VirtualLine::Event& e) {
        portFailed = portFailed || e.name == line.vanishAfter;
        if (e.name == "*" || e.name == "EOT" || e.name.startsWith('B') || e.name == "write")
            writes.append({e, line.consumed.size()});
    };
    try {
        sequence.Command1_Click();
    } catch (const VirtualLine::Exhausted&) {
        check(false, "the run never ended");
    }
    portFailed = portFailed || (!failOn.isEmpty() && line.failOn.isEmpty());

    // Only "*" after "T" "A", then blocks 1, 2 ... each after the NAK or the ACK before it,
    // framed exactly and never twice, then at most one EOT after the last block's ACK.
    const int blocks = std::max(1, (image->largo_archivo + 127) / 128);
    int sent = 0;
    qint64 lastBlockAt = -1;
    bool star = false, eot = false;
    for (qsizetype i = 0; i < writes.size(); ++i) {
        const auto& [e, read] = writes[i];
        const QByteArray before = line.consumed.mid(read - 2, 2);   // the last two bytes read by then
        const bool answered = i > 0 && read > writes[i - 1].second;
        check(!eot, "a byte after EOT");
        if (e.name == "*") {
            check(!star && before.endsWith("TA"), "'*' without \"T\" \"A\", or twice");
            star = true;
        } else if (e.name == "EOT") {
            check(sent == blocks && answered && before.endsWith('\x06'), "EOT before the last block's ACK");
            eot = true;
        } else {
            check(star && answered && before.endsWith(sent == 0 ? '\x15' : '\x06'), "a block without its NAK or ACK");
            ++sent;
            check(e.bytes == expectedBlock(*image, sent), "a block out of order or framed wrong");
            lastBlockAt = e.at;
        }
    }
    check(line.now <= 64500 + 10100 * sent + 2000, "the run took longer than its waits allow");
    check(!line.isOpen(), "the port left open");

    // The exit agrees with what happened.
    const QString message = messages.texts.value(0);
    check(messages.texts.size() <= 1 && view.idle == (wait.abandoned() ? 0 : 1), "not one exit");
    check(message != "Programa listo" || eot, "\"Programa listo\" without every block acknowledged");
    check(!eot || portFailed || message == "Programa listo", "every block acknowledged, and no \"Programa listo\"");
    check(message != "" || wait.abandoned() || lastClick >= 0, "no message, and no cancel");
    check(message != "Error en puerto serie" || portFailed || image->largo_archivo > 249984, "a port error, no failure");
    // "Cancelar" raised during the last block outlives a success; the cancel exit lowers it.
    check(!eot || wait.cancelado == (lastClick > lastBlockAt ? -1 : 0), "the flag after a success");
    check(message != "" || wait.abandoned() || wait.cancelado == 0, "the flag after a cancel");
    check(wait.cancelado == 0 || lastClick >= 0, "the flag raised with no click");
    return 0;
}

#ifdef FUZZ_REPLAY
int main(int argc, char** argv)
{
    return replay(argc, argv, 20261207, 96);
}
#endif
