#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace programador {

// A production order, as a line engineer releases it in a small INI file:
//   [orden]
//   nombre=OT-2026-118
//   imagen=placa-2.4.stb        (a path relative to the order file's folder, or absolute)
//   sha256=<64 hex digits>      (the image released)
//   cantidad=500                (boards to load "Programa listo"; none or empty: no limit)
//   serie=si                    (ask for each board's serial number; no when not given)
//   puertos=1,2,3,4             (the COM numbers it runs on; none: the bench's own choice)
//   fallas_seguidas=3           (a row stops after so many failed boards in a row)
// Lines that begin with ";" or "#" are comments; a value may stand in double quotes.
struct Order {
    QString name;
    QString image;          // absolute
    QByteArray sha256;      // 64 hex digits, lower case
    int count = 0;          // 0: no limit
    bool asksSerial = false;
    QList<int> ports;       // in the file's order
    int failuresInRow = 3;

    bool operator==(const Order&) const = default;
};

// The order in FILE. Anything in it that cannot be used refuses the whole file: `refusal` says
// what, with the file's name and the line ("orden.ini, línea 4: ..."), and `order` is left as
// it was.
bool readOrder(const QString& path, Order& order, QString& refusal);
// The same from the file's bytes; `shown` names the file in a refusal, `folder` is where a
// relative image path starts.
bool parseOrder(const QByteArray& bytes, const QString& shown, const QString& folder, Order& order, QString& refusal);
// The message for an image that is not the one the order released; imageRefusal gives its
// reason: the image and both SHA-256s by their first 12 hex digits ("placa.stb: su SHA-256 es
// 0123456789ab..., la orden OT-118 aprobó 9a82b2ee0c4d..."), or nothing when sha256 is the
// order's.
inline constexpr char kNotTheOrdersImage[] = "La imagen no es la de la orden";
QString imageRefusal(const Order& order, const QString& shown, const QByteArray& sha256);
// The file "Guardar orden..." writes: what parseOrder reads back as the same order (the image as
// an absolute path).
QByteArray orderText(const Order& order);

} // namespace programador
