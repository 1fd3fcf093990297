#include "main_window_ui.h"
#include "twips.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLayout>
#include <QMenuBar>
#include <QTest>

using namespace programador;

namespace {

QWidget* child(MainWindowUi& ui, const char* name)
{
    return ui.findChild<QWidget*>(QString::fromLatin1(name));
}

QColor pixelAt(QWidget* w, QPoint p)
{
    return w->grab().toImage().pixelColor(p);
}

const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
const QColor kWhite(255, 255, 255);

} // namespace

class TestUi : public QObject {
    Q_OBJECT
private slots:
    void windowCaptionAndFixedClientArea();
    void controlsAtTheirTwipsPlaces_data();
    void controlsAtTheirTwipsPlaces();
    void labelsSizeToTheirCaptionOnOneLine_data();
    void labelsSizeToTheirCaptionOnOneLine();
    void labelBorders();
    void fonts();
    void colours();
    void menuBarHoldsThreeCommandsInOrder();
    void designedState();
    void pictureAtItsOwnSize();
    void tabOrderSkipsDisabledControls();
    void noDefaultButton();
};

void TestUi::windowCaptionAndFixedClientArea()
{
    MainWindowUi ui(Twips(96));
    ui.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ui));

    QCOMPARE(ui.windowTitle(), QStringLiteral("Telvarin V5.0"));
    QWidget* client = ui.centralWidget();
    QVERIFY(client);
    QCOMPARE(client->size(), QSize(458, 344));
    // Below the menu bar, which spans the window.
    QCOMPARE(client->y(), ui.menuBar()->geometry().bottom() + 1);
    QCOMPARE(ui.size(), QSize(458, client->y() + 344));
    // Fixed: the window cannot be made larger or smaller.
    QCOMPARE(ui.minimumSize(), ui.size());
    QCOMPARE(ui.maximumSize(), ui.size());
    ui.resize(800, 600);
    QCOMPARE(client->size(), QSize(458, 344));
}

void TestUi::controlsAtTheirTwipsPlaces_data()
{
    QTest::addColumn<double>("dpi");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("pixels");

    // 15 twips a pixel at 96 DPI.
    QTest::newRow("Drive1") << 96.0 << "Drive1" << QRect(8, 8, 249, 21);
    QTest::newRow("Dir1") << 96.0 << "Dir1" << QRect(8, 32, 249, 126);
    QTest::newRow("File1") << 96.0 << "File1" << QRect(264, 8, 185, 149);
    QTest::newRow("Command1") << 96.0 << "Command1" << QRect(8, 248, 193, 33);
    QTest::newRow("Command2") << 96.0 << "Command2" << QRect(208, 248, 97, 33);
    QTest::newRow("Image1") << 96.0 << "Image1" << QRect(328, 216, 96, 70);
    QTest::newRow("ProgressBar1") << 96.0 << "ProgressBar1" << QRect(8, 296, 297, 13);
    // Twice the resolution: everything twice as far and as large (7.5 twips a pixel).
    QTest::newRow("Command1 at 192 DPI") << 192.0 << "Command1" << QRect(16, 496, 386, 66);
    QTest::newRow("File1 at 192 DPI") << 192.0 << "File1" << QRect(528, 16, 370, 298);
    // 144 DPI: 10 twips a pixel, halves rounded.
    QTest::newRow("Command1 at 144 DPI") << 144.0 << "Command1" << QRect(12, 372, 290, 50);
}

void TestUi::controlsAtTheirTwipsPlaces()
{
    QFETCH(double, dpi);
    QFETCH(QString, control);
    QFETCH(QRect, pixels);

    MainWindowUi ui{Twips(dpi)};
    QWidget* w = child(ui, control.toLatin1().constData());
    QVERIFY(w);
    QCOMPARE(w->parentWidget(), ui.centralWidget());
    QCOMPARE(w->geometry(), pixels);
}

void TestUi::labelsSizeToTheirCaptionOnOneLine_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QPoint>("topLeft");
    QTest::addColumn<QString>("caption");

    const QPoint label2(136, 168);   // 2040, 2520 twips
    const QPoint label1(101, 208);   // 1515, 3120 twips
    QTest::newRow("Label2 designed") << "Label2" << label2 << "No hay archivo seleccionado...";
    QTest::newRow("Label2 longer") << "Label2" << label2 << "Archivo: /home/operador/firmware/equipo_v5.stb";
    QTest::newRow("Label2 shorter") << "Label2" << label2 << "Archivo: /a.bin";
    QTest::newRow("Label2 empty") << "Label2" << label2 << "";
    QTest::newRow("Label1 designed") << "Label1" << label1 << "Alimente el equipo";
    QTest::newRow("Label1 longer") << "Label1" << label1 << "Iniciando protocolo XMODEM...";
}

void TestUi::labelsSizeToTheirCaptionOnOneLine()
{
    QFETCH(QString, label);
    QFETCH(QPoint, topLeft);
    QFETCH(QString, caption);

    MainWindowUi ui(Twips(96));
    AutoSizeLabel* l = label == QLatin1String("Label1") ? ui.Label1 : ui.Label2;
    const int designedWidth = l->width();
    l->setText(caption);

    QCOMPARE(l->text(), caption);
    QCOMPARE(l->pos(), topLeft);   // left and top stay
    const QFontMetrics fm(l->font());
    const int border = 2 * l->frameWidth();
    // One line, the whole caption inside the border.
    QCOMPARE(l->height(), fm.height() + border);
    QVERIFY2(l->width() >= fm.horizontalAdvance(caption) + border, qPrintable(QString::number(l->width())));
    QVERIFY(l->width() <= fm.horizontalAdvance(caption) + border + 4);
    QCOMPARE(l->alignment(), Qt::AlignCenter);
    QVERIFY(!l->wordWrap());
    if (caption.size() > 30)
        QVERIFY(l->width() > designedWidth);   // grows to the right
    if (caption.isEmpty())
        QCOMPARE(l->width(), border);
}

void TestUi::labelBorders()
{
    MainWindowUi ui(Twips(96));
    // Label1: sunken three-dimensional border, two pixels a side.
    QCOMPARE(ui.Label1->frameShape(), QFrame::WinPanel);
    QCOMPARE(ui.Label1->frameShadow(), QFrame::Sunken);
    QCOMPARE(ui.Label1->frameWidth(), 2);
    // Label2: flat border of one pixel.
    QCOMPARE(ui.Label2->frameShape(), QFrame::Box);
    QCOMPARE(ui.Label2->frameShadow(), QFrame::Plain);
    QCOMPARE(ui.Label2->frameWidth(), 1);
}

void TestUi::fonts()
{
    MainWindowUi ui(Twips(96));
    const QString family = QFontDatabase::hasFamily(QStringLiteral("MS Sans Serif"))
                               ? QStringLiteral("MS Sans Serif")
                               : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    const QList<std::pair<QWidget*, qreal>> expected = {
        {ui.Drive1, 8.25},   {ui.Dir1, 8.25},     {ui.File1, 8.25},    {ui.Label2, 8.25},
        {ui.Label1, 8.25},   {ui.Command1, 13.5}, {ui.Command2, 13.5},
    };
    for (const auto& [w, points] : expected) {
        const QFont f = w->font();
        QVERIFY2(qFuzzyCompare(f.pointSizeF(), points), qPrintable(w->objectName()));
        QCOMPARE(f.weight(), QFont::Bold);
        QCOMPARE(f.family(), family);
        QVERIFY(!f.italic() && !f.underline() && !f.strikeOut());
    }
}

void TestUi::colours()
{
    const QColor windowBackground = QApplication::palette().color(QPalette::Base);
    MainWindowUi ui(Twips(96));
    ui.Drive1->addItem(QStringLiteral("/"));
    ui.Dir1->addItem(QStringLiteral("/"));
    ui.File1->addItem(QStringLiteral("a.bin"));
    ui.Label1->show();
    ui.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ui));
    ui.Command1->setFocus();   // no list draws its focus highlight

    // The lists: text in the window-background colour, on blue.
    for (QWidget* list : std::initializer_list<QWidget*>{ui.Drive1, ui.Dir1, ui.File1}) {
        QCOMPARE(list->palette().color(QPalette::Base), kBlue);
        QCOMPARE(list->palette().color(QPalette::Text), windowBackground);
    }
    // What is drawn: blue inside the lists (away from their items and borders).
    QCOMPARE(pixelAt(ui.Dir1, QPoint(ui.Dir1->width() / 2, ui.Dir1->height() - 8)), kBlue);
    QCOMPARE(pixelAt(ui.File1, QPoint(ui.File1->width() / 2, ui.File1->height() - 8)), kBlue);
    QCOMPARE(pixelAt(ui.Drive1, QPoint(ui.Drive1->width() / 2, ui.Drive1->height() - 4)), kBlue);

    // Label2: blue caption on the window-background colour, its border blue too.
    QCOMPARE(ui.Label2->palette().color(QPalette::WindowText), kBlue);
    QCOMPARE(pixelAt(ui.Label2, QPoint(1, 1)), windowBackground);
    QCOMPARE(pixelAt(ui.Label2, QPoint(0, 0)), kBlue);
    // Label1: white caption on red, inside its two-pixel border.
    QCOMPARE(ui.Label1->palette().color(QPalette::WindowText), kWhite);
    QCOMPARE(pixelAt(ui.Label1, QPoint(2, 2)), kRed);
    // The caption is drawn in white somewhere on the red.
    const QImage label1 = ui.Label1->grab().toImage();
    bool white = false;
    for (int x = 0; x < label1.width() && !white; ++x)
        for (int y = 0; y < label1.height() && !white; ++y)
            white = label1.pixelColor(x, y) == kWhite;
    QVERIFY(white);
}

void TestUi::menuBarHoldsThreeCommandsInOrder()
{
    MainWindowUi ui(Twips(96));
    const QList<QAction*> actions = ui.menuBar()->actions();
    QCOMPARE(actions, (QList<QAction*>{ui.ayuda, ui.configurar, ui.salir}));
    const QStringList captions = {QStringLiteral("Ayuda"), QStringLiteral("Configurar puerto serie"),
                                  QStringLiteral("Salir")};
    const QStringList names = {QStringLiteral("ayuda"), QStringLiteral("configurar"), QStringLiteral("salir")};
    for (int i = 0; i < 3; ++i) {
        QAction* a = actions[i];
        QCOMPARE(a->text(), captions[i]);
        QCOMPARE(a->objectName(), names[i]);
        QVERIFY(a->isEnabled());
        QVERIFY(a->isVisible());
        QVERIFY(!a->menu());
        QVERIFY(!a->isCheckable());
        QVERIFY(a->shortcut().isEmpty());
    }
}

void TestUi::designedState()
{
    MainWindowUi ui(Twips(96));
    // As designed; the start-up handler sets the start state from here.
    QCOMPARE(ui.Command1->text(), QStringLiteral("Cargar Firmware"));
    QCOMPARE(ui.Command2->text(), QStringLiteral("Cancelar"));
    QCOMPARE(ui.Label2->text(), QStringLiteral("No hay archivo seleccionado..."));
    QCOMPARE(ui.Label1->text(), QStringLiteral("Alimente el equipo"));
    QVERIFY(ui.Command1->isEnabled());
    QVERIFY(ui.Command2->isEnabled());
    QVERIFY(ui.Label1->isHidden());
    QVERIFY(!ui.Label2->isHidden());
    QVERIFY(!ui.ProgressBar1->isHidden());
    QCOMPARE(ui.ProgressBar1->minimum(), 0);
    QCOMPARE(ui.ProgressBar1->maximum(), 100);
    QCOMPARE(ui.ProgressBar1->orientation(), Qt::Horizontal);
    QVERIFY(!ui.ProgressBar1->isTextVisible());
    QVERIFY(ui.Drive1->isEnabled() && ui.Dir1->isEnabled() && ui.File1->isEnabled());
}

void TestUi::pictureAtItsOwnSize()
{
    MainWindowUi ui(Twips(144));   // a larger box than the picture: it must not be stretched
    const QPixmap picture = ui.Image1->pixmap();
    QCOMPARE(picture.size(), QSize(96, 70));
    QVERIFY(!ui.Image1->hasScaledContents());
    QCOMPARE(ui.Image1->pos(), QPoint(492, 324));   // 4920, 3240 twips at 10 twips a pixel

    // A picture, not an empty box: several colours in it.
    const QImage image = picture.toImage();
    QSet<QRgb> colours;
    for (int x = 0; x < image.width(); x += 4)
        for (int y = 0; y < image.height(); y += 4)
            colours.insert(image.pixel(x, y));
    QVERIFY(colours.size() >= 4);
}

void TestUi::tabOrderSkipsDisabledControls()
{
    MainWindowUi ui(Twips(96));
    for (QWidget* w : std::initializer_list<QWidget*>{ui.Label1, ui.Label2, ui.Image1, ui.ProgressBar1})
        QCOMPARE(w->focusPolicy(), Qt::NoFocus);

    ui.show();
    ui.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&ui));

    const auto walk = [&ui](int steps) {
        QList<QWidget*> seen;
        for (int i = 0; i < steps; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget();
        }
        return seen;
    };

    ui.Command1->setFocus();
    QCOMPARE(QApplication::focusWidget(), ui.Command1);
    QCOMPARE(walk(5), (QList<QWidget*>{ui.File1, ui.Command2, ui.Drive1, ui.Dir1, ui.Command1}));

    ui.Command2->setEnabled(false);
    ui.Drive1->setEnabled(false);
    QCOMPARE(walk(3), (QList<QWidget*>{ui.File1, ui.Dir1, ui.Command1}));
}

void TestUi::noDefaultButton()
{
    MainWindowUi ui(Twips(96));
    for (QPushButton* b : {ui.Command1, ui.Command2}) {
        QVERIFY(!b->isDefault());
        QVERIFY(!b->autoDefault());
    }
    // Enter in a list clicks nothing.
    int clicks = 0;
    QObject::connect(ui.Command1, &QPushButton::clicked, [&clicks] { ++clicks; });
    QObject::connect(ui.Command2, &QPushButton::clicked, [&clicks] { ++clicks; });
    ui.show();
    ui.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&ui));
    ui.File1->setFocus();
    QTest::keyClick(ui.File1, Qt::Key_Return);
    QTest::keyClick(ui.File1, Qt::Key_Escape);
    QCOMPARE(clicks, 0);
}

QTEST_MAIN(TestUi)
#include "test_ui.moc"
