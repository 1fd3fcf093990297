#include "user_names.h"

#include <QDir>

#include <pwd.h>
#include <unistd.h>

namespace programador {

QString loginName()
{
    const passwd* me = ::getpwuid(::geteuid());
    return me && me->pw_name && *me->pw_name ? QString::fromLocal8Bit(me->pw_name) : qEnvironmentVariable("USER");
}

QString fullName()
{
    // "Ana Pérez,Planta 2,,": the name is what comes before the first comma.
    const passwd* me = ::getpwuid(::geteuid());
    const QString name = me && me->pw_gecos ? QString::fromLocal8Bit(me->pw_gecos).section(QLatin1Char(','), 0, 0).trimmed() : QString();
    return name.isEmpty() ? loginName() : name;
}

QString stateFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty())
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/programador");
}

} // namespace programador
