#pragma once

#include <array>
#include <memory>

class QSoundEffect;
class QWidget;

namespace programador {

// What the bench window makes the operator hear, who may be looking at a board rather than at
// the screen: a board that failed, a row stopped because its fixture fails board after board,
// an order completed. The window holds one; its tests hold a fake that counts.
class Alarm {
public:
    enum class What { Failed, RowStopped, OrderComplete };
    virtual ~Alarm() = default;
    // Sounds what happened unless it is to be silent (registro.ini's sonido=no) and, when the
    // window is not the active one, asks the desktop for attention, which makes no noise.
    virtual void sound(What what, bool audible, QWidget* window) = 0;
};

// The program's alarm: a sound of its own for each event, embedded in the program
// (:/sonidos/), played by Qt Multimedia, and the desktop's attention request
// (QApplication::alert: a blinking task-bar entry, until the window is active again).
// A PC without a sound device plays nothing and says nothing; the window never waits on a sound.
class SoundAlarm : public Alarm {
public:
    SoundAlarm();
    ~SoundAlarm() override;
    SoundAlarm(const SoundAlarm&) = delete;
    SoundAlarm& operator=(const SoundAlarm&) = delete;

    void sound(What what, bool audible, QWidget* window) override;

private:
    void load();

    bool loaded_ = false;   // the device looked for and, when there is one, the sounds read
    std::array<std::unique_ptr<QSoundEffect>, 3> effects_;   // by What; none without a device
};

} // namespace programador
