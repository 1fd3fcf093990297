#include "command_line.h"

#include "numbering_file.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <utility>

namespace programador {

const char* const kUsage = "uso: programador [--port N]... [--device RUTA]... [--repeat] [--log ARCHIVO|URI]\n"
                           "                  [--orden TEXTO] [--operador TEXTO] [--serie TEXTO] [--] IMAGEN\n"
                           "     programador --orden ARCHIVO [--port N]... [--device RUTA]... [--log ARCHIVO|URI]\n"
                           "                  [--operador TEXTO]\n"
                           "     programador --list | --help | --version\n";
const char* const kHelp =
    "Carga IMAGEN (un archivo .stb o .bin) en el equipo por el puerto serie, sin ventana, como\n"
    "\"Cargar Firmware\": encienda el equipo cuando se lea \"Alimente el equipo\".\n"
    "  --port N        el puerto COMN, de 1 a 16 (el diálogo de la ventana muestra de 1 a 4)\n"
    "  --device RUTA   el dispositivo serie RUTA\n"
    "                  --port y --device se repiten para cargar varios equipos a la vez\n"
    "  --repeat        tras cada carga espera el equipo siguiente, sin límite, hasta una señal\n"
    "  --log ARCHIVO   agrega una fila CSV por carga: hora, puerto, dispositivo, imagen y su\n"
    "                  SHA-256, bloques, resultado, estado, segundos, serie, orden, operador\n"
    "                  y la causa de un error\n"
    "  --log URI       la misma fila en la tabla cargas de una base PostgreSQL\n"
    "                  (postgresql://rol@servidor/base); las filas esperan en la PC mientras\n"
    "                  el servidor no responde, y al terminar se espera al servidor dos\n"
    "                  segundos como mucho. Sin --log, el destino de\n"
    "                  $XDG_CONFIG_HOME/programador/registro.ini, si lo hay\n"
    "  --orden TEXTO   la orden de trabajo o el lote, en cada fila\n"
    "  --orden ARCHIVO  una orden que entrega el ingeniero (un archivo .ini): su nombre va en\n"
    "                  cada fila, su imagen debe tener el SHA-256 aprobado (si no, estado 3 y\n"
    "                  nada se envía), sus puertos si no se dan --port ni --device; carga placa\n"
    "                  tras placa hasta su cantidad, que sigue de una vez a la otra\n"
    "  --operador TEXTO  quién carga, en cada fila (si no, el usuario de la sesión)\n"
    "  --serie TEXTO   el número de serie de la placa, en su fila: para una sola carga de un\n"
    "                  solo equipo, sin --repeat\n"
    "  --              lo que sigue es la IMAGEN, aunque empiece con \"-\"\n"
    "Sin --port ni --device, el puerto de PROGRAMADOR.INI en el directorio de trabajo.\n"
    "  --list          los puertos COM1 a COM4, y los siguientes hasta el último numerado\n"
    "                  (COM16 a lo sumo), con el dispositivo de cada uno (o \"libre\"), luego\n"
    "                  los dispositivos sin número\n"
    "COMN es PROGRAMADOR_COMN si existe; si no, el dispositivo que tiene ese número en\n"
    "$XDG_CONFIG_HOME/programador/puertos.ini (~/.config/...): cada dispositivo nuevo toma el\n"
    "número libre más bajo y lo conserva, aunque se desconecte; con [puertos] por=ranura, el\n"
    "número queda con el puerto USB (la ranura del banco) y no con el adaptador.\n"
    "--list, --help y --version van solos.\n"
    "Estado de salida: 0 Programa listo (en todos los equipos); 1 Error de comunicacion (con\n"
    "varios equipos: alguno no llegó a Programa listo); 2 Error en puerto serie; 3 la imagen no\n"
    "se pudo cargar; 64 orden mal escrita. SIGINT, SIGTERM o SIGHUP: la primera deja terminar el\n"
    "bloque en curso, como \"Cancelar\", la segunda corta en el acto; programador dice\n"
    "\"Interrumpido\" y termina por esa misma señal (130, 143 o 129 para el shell).\n"
    "Sin argumentos, programador abre su ventana; con --banco [--orden ARCHIVO], también el banco\n"
    "de carga (bajo esa orden: su imagen, su cantidad y sus puertos, que no se cambian).\n";

namespace {

// An option the parser does not know, as it was typed ("-x", "--xy=1" as "--xy"): the parser
// gives its name alone.
QString asTyped(const QStringList& args, const QString& name)
{
    for (const QString& arg : args.mid(1)) {
        if (arg == QLatin1String("--"))
            break;
        const QString typed = arg.section(QLatin1Char('='), 0, 0);
        if (typed.startsWith(QLatin1Char('-')) && typed.mid(typed.startsWith(QLatin1String("--")) ? 2 : 1) == name)
            return typed;
    }
    return name;
}

} // namespace

std::optional<CommandLine> parseCommandLine(const QStringList& args, QString& wrong)
{
    QCommandLineParser parser;
    // "-port 3" reads as "--port 3"; nothing here is a cluster of one-letter options.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption port(QStringLiteral("port"), {}, QStringLiteral("N"));
    const QCommandLineOption device(QStringLiteral("device"), {}, QStringLiteral("RUTA"));
    const QCommandLineOption repeat(QStringLiteral("repeat"));
    const QCommandLineOption log(QStringLiteral("log"), {}, QStringLiteral("ARCHIVO"));
    const QCommandLineOption order(QStringLiteral("orden"), {}, QStringLiteral("TEXTO"));
    const QCommandLineOption who(QStringLiteral("operador"), {}, QStringLiteral("TEXTO"));
    const QCommandLineOption serial(QStringLiteral("serie"), {}, QStringLiteral("TEXTO"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption list(QStringLiteral("list"));
    parser.addOptions({port, device, repeat, log, order, who, serial, help, version, list});

    const auto refuse = [&wrong](const QString& why) {
        wrong = QStringLiteral("programador: ") + why;
        return std::nullopt;
    };
    const QString needsPort = QStringLiteral("--port necesita un puerto de 1 a 16");
    if (!parser.parse(args)) {
        if (!parser.unknownOptionNames().isEmpty())
            return refuse(QStringLiteral("opción desconocida %1").arg(asTyped(args, parser.unknownOptionNames().first())));
        // The other refusal is an option given last, without its value.
        const QString last = args.last();
        for (const char* text : {"orden", "operador", "serie"})
            if (last.endsWith(QLatin1String(text)))
                return refuse(QStringLiteral("--%1 necesita un texto").arg(QLatin1String(text)));
        return refuse(last.endsWith(QLatin1String("port")) ? needsPort
                          : last.endsWith(QLatin1String("log")) ? QStringLiteral("--log necesita un archivo")
                                                                : QStringLiteral("--device necesita una ruta"));
    }

    CommandLine line;
    // --list, --help and --version stand alone; anywhere else, or after "--", they are no
    // option.
    for (const auto& [option, action] : {std::pair{&help, CommandLine::Action::Help},
                                         std::pair{&version, CommandLine::Action::Version},
                                         std::pair{&list, CommandLine::Action::List}}) {
        if (!parser.isSet(*option))
            continue;
        if (args.size() != 2)
            return refuse("--" + option->names().last() + QStringLiteral(" va solo, sin otros argumentos"));
        line.action = action;
        return line;
    }

    // Digits alone, 1 to 16, with no leading zero: "01", " 2" and "+2" are no port.
    for (const QString& value : parser.values(port)) {
        bool number = value.size() <= 2 && !value.startsWith(QLatin1Char('0'));
        for (const QChar c : value)
            number = number && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (!number || value.toInt() < 1 || value.toInt() > kComNumbers)
            return refuse(needsPort);
        line.ports << value.toInt();
    }
    for (const QString& value : parser.values(device)) {
        if (value.isEmpty())
            return refuse(QStringLiteral("--device necesita una ruta"));
        line.devices << value;
    }
    line.repeat = parser.isSet(repeat);
    const QStringList logs = parser.values(log);
    if (logs.size() > 1)
        return refuse(QStringLiteral("un solo --log"));
    if (!logs.isEmpty() && logs.first().isEmpty())
        return refuse(QStringLiteral("--log necesita un archivo"));
    line.log = logs.value(0);
    // Each text once, and not empty: a row's empty field is one that was not given.
    for (const auto& [option, field] : {std::pair{&order, &line.order}, std::pair{&who, &line.operatorName},
                                        std::pair{&serial, &line.serial}}) {
        const QStringList values = parser.values(*option);
        const QString name = option->names().first();
        if (values.size() > 1)
            return refuse(QStringLiteral("un solo --%1").arg(name));
        if (!values.isEmpty() && values.first().trimmed().isEmpty())
            return refuse(QStringLiteral("--%1 necesita un texto").arg(name));
        *field = values.value(0);
    }
    // An order's file, not its name: an .ini file, or a file that is there. It loads board after
    // board, its own image.
    if (line.order.endsWith(QLatin1String(".ini"), Qt::CaseInsensitive) || QFileInfo(line.order).isFile()) {
        line.orderFile = std::exchange(line.order, QString());
        line.repeat = true;
    }
    // A serial number is one board's: one device, one load. Without --port or --device the
    // device is the one of PROGRAMADOR.INI.
    if (!line.serial.isEmpty() && (line.repeat || line.ports.size() + line.devices.size() > 1))
        return refuse(QStringLiteral("--serie es el número de una placa: va con un solo equipo y sin --repeat"));

    const QStringList images = parser.positionalArguments();
    if (!line.orderFile.isEmpty()) {
        if (!images.isEmpty())
            return refuse(QStringLiteral("con --orden ARCHIVO la imagen es la de la orden"));
        return line;
    }
    if (images.size() != 1)
        return refuse(images.isEmpty() ? QStringLiteral("falta la IMAGEN") : QStringLiteral("una sola IMAGEN"));
    line.image = images.first();
    return line;
}

} // namespace programador
