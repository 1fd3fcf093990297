#include "main_window_ui.h"

#include "device_picture.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLayout>
#include <QMenuBar>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace programador {

namespace {

// Designed geometry, in twips from the top-left corner of the client area.
struct Place {
    int left, top, width, height;
};
constexpr int kClientWidth = 6870;
constexpr int kClientHeight = 5160;
constexpr Place kDrive1{120, 120, 3735, 315};
constexpr Place kDir1{120, 480, 3735, 1890};
constexpr Place kFile1{3960, 120, 2775, 2235};
constexpr Place kLabel2{2040, 2520, 2715, 225};   // labels: only left and top hold, they size to their caption
constexpr Place kLabel1{1515, 3120, 1665, 255};
constexpr Place kCommand1{120, 3720, 2895, 495};
constexpr Place kCommand2{3120, 3720, 1455, 495};
constexpr Place kImage1{4920, 3240, 1440, 1050};
constexpr Place kProgressBar1{120, 4440, 4455, 195};
constexpr Place kRecordLine{120, 4755, 0, 0};

constexpr qreal kListFontPoints = 8.25;
constexpr qreal kButtonFontPoints = 13.5;

const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
const QColor kWhite(255, 255, 255);

void place(QWidget* w, const Twips& twips, const Place& p)
{
    w->setGeometry(twips.rect(p.left, p.top, p.width, p.height));
}

// The lists: text in the desktop's window-background colour, on blue.
void paintList(QWidget* list, const QColor& windowBackground)
{
    QPalette pal = list->palette();
    for (const QPalette::ColorRole role : {QPalette::Base, QPalette::Window, QPalette::Button})
        pal.setColor(role, kBlue);
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        pal.setColor(role, windowBackground);
    list->setPalette(pal);
    list->setAutoFillBackground(true);
}

// The drive list's closed box would be drawn as a shaded button; the classic style draws it
// as one blue field with its arrow button, like the lists. The style belongs to owner.
void paintDriveList(QComboBox* drives, const QColor& windowBackground, QObject* owner)
{
    paintList(drives, windowBackground);
    if (QStyle* classic = QStyleFactory::create(QStringLiteral("Windows"))) {
        classic->setParent(owner);
        drives->setStyle(classic);
    }
}

QPushButton* makeButton(const QString& caption, QWidget* parent)
{
    auto* button = new QPushButton(caption, parent);
    button->setFont(MainWindowUi::designFont(kButtonFontPoints));
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

} // namespace

QFont MainWindowUi::designFont(qreal pointSize)
{
    static const QString kDesigned = QStringLiteral("MS Sans Serif");
    QFont font;
    if (QFontDatabase::hasFamily(kDesigned))
        font.setFamily(kDesigned);
    else
        font.setFamily(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Bold);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

MainWindowUi::MainWindowUi(const Twips& twips, QWidget* parent)
    : QMainWindow(parent), twips_(twips)
{
    setObjectName(QStringLiteral("PROGRAMADOR"));
    setWindowTitle(QStringLiteral("Telvarin V5.0"));
    // The window's background is the toolkit's default one.

    // The menu bar: four commands side by side, no sub-items, shortcuts or check marks.
    QMenuBar* bar = menuBar();
    ayuda = bar->addAction(QStringLiteral("Ayuda"));
    ayuda->setObjectName(QStringLiteral("ayuda"));
    configurar = bar->addAction(QStringLiteral("Configurar puerto serie"));
    configurar->setObjectName(QStringLiteral("configurar"));
    banco = bar->addAction(QStringLiteral("Banco de carga"));
    banco->setObjectName(QStringLiteral("banco"));
    salir = bar->addAction(QStringLiteral("Salir"));
    salir->setObjectName(QStringLiteral("salir"));

    // The client area: fixed, and the window fixed around it and the menu bar.
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twips_.size(kClientWidth, kClientHeight));
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    // The layout is fixed, so is the window: it offers no maximize.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    // The desktop's window-background colour, taken at run time (white on most desktops).
    const QColor windowBackground = QApplication::palette().color(QPalette::Base);
    const QFont listFont = designFont(kListFontPoints);

    Drive1 = new QComboBox(client);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Drive1->setFont(listFont);
    paintDriveList(Drive1, windowBackground, this);
    place(Drive1, twips_, kDrive1);

    Dir1 = new QListWidget(client);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setFont(listFont);
    paintList(Dir1, windowBackground);
    place(Dir1, twips_, kDir1);

    File1 = new QListWidget(client);
    File1->setObjectName(QStringLiteral("File1"));
    File1->setFont(listFont);
    paintList(File1, windowBackground);
    place(File1, twips_, kFile1);

    // Label2, the file line: blue text on the window-background colour, in a flat
    // one-pixel border (drawn, like the caption, in blue).
    Label2 = new AutoSizeLabel(QStringLiteral("No hay archivo seleccionado..."), client);
    Label2->setObjectName(QStringLiteral("Label2"));
    {
        QPalette pal = Label2->palette();
        pal.setColor(QPalette::Window, windowBackground);
        pal.setColor(QPalette::WindowText, kBlue);
        Label2->setPalette(pal);
    }
    Label2->setAutoFillBackground(true);
    Label2->setFrameStyle(QFrame::Box | QFrame::Plain);
    Label2->setLineWidth(1);
    Label2->setFont(listFont);
    Label2->move(twips_.toPixels(kLabel2.left), twips_.toPixels(kLabel2.top));
    // A long path is elided in the middle where the file list ends, not past the window's edge.
    Label2->setRightEdge(twips_.toPixels(kFile1.left + kFile1.width));

    // Label1, the status line: white on red, sunken three-dimensional border of two pixels.
    Label1 = new AutoSizeLabel(QStringLiteral("Alimente el equipo"), client);
    Label1->setObjectName(QStringLiteral("Label1"));
    {
        QPalette pal = Label1->palette();
        pal.setColor(QPalette::Window, kRed);
        pal.setColor(QPalette::WindowText, kWhite);
        Label1->setPalette(pal);
    }
    Label1->setAutoFillBackground(true);
    Label1->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    Label1->setFont(listFont);
    Label1->move(twips_.toPixels(kLabel1.left), twips_.toPixels(kLabel1.top));
    Label1->fitToCaption();
    Label1->hide();

    Command1 = makeButton(QStringLiteral("Cargar Firmware"), client);
    Command1->setObjectName(QStringLiteral("Command1"));
    place(Command1, twips_, kCommand1);

    Command2 = makeButton(QStringLiteral("Cancelar"), client);
    Command2->setObjectName(QStringLiteral("Command2"));
    place(Command2, twips_, kCommand2);

    // Image1: the picture at its own size, not stretched, from the designed corner.
    Image1 = new QLabel(client);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(devicePicture());
    Image1->setScaledContents(false);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setFocusPolicy(Qt::NoFocus);
    place(Image1, twips_, kImage1);

    // The progress bar shows its value against its maximum, without a percentage text.
    ProgressBar1 = new QProgressBar(client);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setOrientation(Qt::Horizontal);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setFocusPolicy(Qt::NoFocus);
    place(ProgressBar1, twips_, kProgressBar1);

    // The record's line: dark red on the window, in the lists' font, elided before the edge.
    RecordLine = new AutoSizeLabel(QString(), client);
    RecordLine->setObjectName(QStringLiteral("RecordLine"));
    {
        QPalette pal = RecordLine->palette();
        pal.setColor(QPalette::WindowText, QColor(160, 0, 0));
        RecordLine->setPalette(pal);
    }
    RecordLine->setFont(listFont);
    RecordLine->move(twips_.toPixels(kRecordLine.left), twips_.toPixels(kRecordLine.top));
    RecordLine->setRightEdge(twips_.toPixels(kClientWidth - kRecordLine.left));
    // Its sentence comes first: what is cut is the end, and the tooltip has all of it.
    RecordLine->setElideMode(Qt::ElideRight);
    RecordLine->hide();

    // Focus: Command1, File1, Command2, Drive1, Dir1; labels and the progress bar take none.
    for (QWidget* w : std::initializer_list<QWidget*>{Command1, File1, Command2, Drive1, Dir1})
        w->setFocusPolicy(Qt::StrongFocus);
    setTabOrder(Command1, File1);
    setTabOrder(File1, Command2);
    setTabOrder(Command2, Drive1);
    setTabOrder(Drive1, Dir1);
}

} // namespace programador
