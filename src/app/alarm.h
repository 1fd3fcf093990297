#pragma once
#include <QWidget>
namespace programador {
class Alarm {
public:
    enum class What { Failed, RowStopped, OrderComplete };
    virtual ~Alarm() = default;
    virtual void sound(What what, QWidget* window) = 0;
};
}
