#include "alarm.h"

#include <QApplication>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>
#include <QWidget>

namespace programador {

namespace {

// By What. Each is well under a second, so that one never hides the cue of the next board.
constexpr const char* kSounds[] = {"qrc:/sonidos/falla.wav", "qrc:/sonidos/fila_detenida.wav",
                                   "qrc:/sonidos/orden_completa.wav"};

} // namespace

SoundAlarm::SoundAlarm()
{
    // Read now, in the background, so that the first event is heard when it happens.
    load();
}

SoundAlarm::~SoundAlarm() = default;

void SoundAlarm::load()
{
    if (loaded_)
        return;
    loaded_ = true;
    // Without a device an effect would only warn at every event; the bench runs on PCs without
    // loudspeakers, and there the task bar is the alarm.
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return;
    for (std::size_t i = 0; i < effects_.size(); ++i) {
        effects_[i] = std::make_unique<QSoundEffect>(device);
        effects_[i]->setSource(QUrl(QString::fromLatin1(kSounds[i])));
    }
}

void SoundAlarm::sound(What what, bool audible, QWidget* window)
{
    const auto& effect = effects_[static_cast<std::size_t>(what)];
    if (audible && effect)
        effect->play();   // returns at once; a sound still playing starts again
    // QApplication::alert does nothing for the active window, and with no window would alert
    // every window of the program.
    if (window)
        QApplication::alert(window->window());
}

} // namespace programador
