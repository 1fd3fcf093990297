#include "reasons.h"

#include "user_names.h"

#include <cerrno>
#include <cstring>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace programador {

Cause fileCause(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return Cause::NotFound;
    case EACCES:
    case EPERM:
        return Cause::NoReadPermission;
    case EISDIR:
        return Cause::IsFolder;
    default:
        return Cause::ReadFailed;
    }
}

Cause writeCause(int error)
{
    switch (error) {
    case ENOENT:
        return Cause::NotFound;
    case ENOTDIR:
        return Cause::NotAFolder;
    case EACCES:
    case EPERM:
        return Cause::NoWritePermission;
    case EROFS:
        return Cause::ReadOnlyFileSystem;
    case ENOSPC:
    case EDQUOT:
        return Cause::DiskFull;
    case EISDIR:
        return Cause::IsFolder;
    default:
        return Cause::WriteFailed;
    }
}

Cause portCause(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
        return Cause::NoSuchDevice;
    case EACCES:
    case EPERM:
    case EROFS:
        return Cause::NoPortPermission;
    case EBUSY:
    case EWOULDBLOCK:
        return Cause::PortInUse;
    case EIO:
        return Cause::DeviceGone;
    case EISDIR:
    case ENOTTY:
        return Cause::NotASerialPort;
    default:
        return Cause::PortFailed;
    }
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString reasonLine(const QString& what, Cause cause, const QString& detail)
{
    QString text;
    switch (cause) {
    case Cause::None: return what;
    case Cause::NotFound: text = QStringLiteral("no existe"); break;
    case Cause::IsFolder: text = QStringLiteral("es una carpeta"); break;
    case Cause::NotRegularFile: text = QStringLiteral("no es un archivo común"); break;
    case Cause::NoReadPermission: text = QStringLiteral("sin permiso de lectura"); break;
    case Cause::EmptyFile: text = QStringLiteral("está vacío"); break;
    case Cause::TooLarge: text = QStringLiteral("tiene más de 249984 bytes, los 1953 bloques que caben en el equipo"); break;
    case Cause::ReadFailed: text = QStringLiteral("no se pudo leer"); break;
    case Cause::NoWritePermission: text = QStringLiteral("sin permiso de escritura"); break;
    case Cause::NotAFolder: text = QStringLiteral("una parte de la ruta no es una carpeta"); break;
    case Cause::ReadOnlyFileSystem: text = QStringLiteral("el sistema de archivos es de solo lectura"); break;
    case Cause::DiskFull: text = QStringLiteral("no queda lugar en el disco"); break;
    case Cause::WriteFailed: text = QStringLiteral("no se pudo escribir"); break;
    case Cause::ServerAway: text = QStringLiteral("el servidor no responde"); break;
    case Cause::ServerBusy: text = QStringLiteral("el servidor no atiende por ahora"); break;
    case Cause::PasswordMissing:
        text = QStringLiteral("el servidor pide una contraseña y no hay ninguna en ~/.pgpass ni en PGPASSWORD");
        break;
    case Cause::PasswordRefused: text = QStringLiteral("el servidor rechaza la contraseña"); break;
    case Cause::RoleRefused: text = QStringLiteral("el servidor no deja entrar a este rol"); break;
    case Cause::DatabaseMissing: text = QStringLiteral("la base de datos no existe"); break;
    case Cause::SchemaMissing: text = QStringLiteral("el esquema no existe"); break;
    case Cause::TableNotMade: text = QStringLiteral("no hay tabla cargas y el rol no puede crearla"); break;
    case Cause::PrivilegeMissing: text = QStringLiteral("el rol no tiene permiso para agregar filas a la tabla cargas"); break;
    case Cause::TableRefused: text = QStringLiteral("la tabla cargas no acepta las filas de este rol"); break;
    case Cause::ServerRefused: text = QStringLiteral("el servidor rechaza la conexión"); break;
    case Cause::RowRefused: text = QStringLiteral("el servidor rechaza esta fila"); break;
    case Cause::PortFree: text = QStringLiteral("libre, ningún dispositivo tiene ese número"); break;
    case Cause::DeviceAbsent: text = QStringLiteral("desconectado, el dispositivo no está enchufado"); break;
    case Cause::NoSuchDevice: text = QStringLiteral("el dispositivo no existe"); break;
    case Cause::NoPortPermission:
        text = QStringLiteral("sin permiso para abrir el puerto; ")
            + (detail.isEmpty() ? permissionRemedy({deviceAccess({}).user, {}, QStringLiteral("dialout"), 0}) : detail);
        return what + QStringLiteral(": ") + text;
    case Cause::PortInUse: text = QStringLiteral("el puerto está en uso por otro programa"); break;
    case Cause::DeviceGone: text = QStringLiteral("el dispositivo se desconectó"); break;
    case Cause::NotASerialPort: text = QStringLiteral("no es un puerto serie"); break;
    case Cause::LineStuck: text = QStringLiteral("la línea no acepta más datos"); break;
    case Cause::PortFailed: text = QStringLiteral("el puerto falló"); break;
    }
    if (!detail.isEmpty()
        && (cause == Cause::ReadFailed || cause == Cause::WriteFailed || cause == Cause::PortFailed
            || cause == Cause::NotAFolder || cause == Cause::ReadOnlyFileSystem || cause == Cause::DiskFull
            || (cause >= Cause::ServerAway && cause <= Cause::RowRefused)))
        text += QStringLiteral(" (%1)").arg(detail);
    return what + QStringLiteral(": ") + text;
}

QString listed(const QList<QByteArray>& names)
{
    if (names.size() < 2)
        return QString::fromUtf8(names.value(0));
    return QString::fromUtf8(names.mid(0, names.size() - 1).join(", ")) + QStringLiteral(" y ") + QString::fromUtf8(names.last());
}

QString causeText(Cause cause)
{
    return cause == Cause::None ? QString() : reasonLine(QString(), cause).mid(2);
}

DeviceAccess deviceAccess(const QByteArray& path)
{
    DeviceAccess access;
    access.user = loginName();
    if (access.user.isEmpty())
        access.user = QStringLiteral("USUARIO");
    struct stat st {};
    if (path.isEmpty() || ::stat(path.constData(), &st) != 0)
        return access;
    const passwd* owner = ::getpwuid(st.st_uid);
    const group* group = ::getgrgid(st.st_gid);
    access.owner = owner ? QString::fromLocal8Bit(owner->pw_name) : QString::number(st.st_uid);
    access.group = group ? QString::fromLocal8Bit(group->gr_name) : QString::number(st.st_gid);
    access.mode = st.st_mode & 0777;
    return access;
}

QString permissionRemedy(const DeviceAccess& access)
{
    if (access.group.isEmpty() || access.group == QLatin1String("dialout"))
        return QStringLiteral("el usuario debe estar en el grupo dialout: sudo adduser %1 dialout, y volver a iniciar la sesión")
            .arg(access.user);
    return QStringLiteral("el dispositivo es de %1:%2 con permisos %3, y no del grupo dialout")
        .arg(access.owner, access.group, QString::number(access.mode, 8).rightJustified(3, QLatin1Char('0')));
}

} // namespace programador
