// The outside window elements: colour values, readable captions, per-entry colours and scaling with the window.
#include "platform/controls/active_resize.h"
#include "platform/controls/fit_label.h"
#include "platform/controls/mlist.h"
#include "platform/controls/ss_command.h"
#include "platform/controls/ss_panel.h"
#include "platform/controls/vb_color.h"
#include "tests/support/ink.h"

#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

class TestControls : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void colourValues();
    void captionStaysReadable_data();
    void captionStaysReadable();
    void entryColours();
    void panelClickAndCaption();
    void buttonHoverAndBusyLook();
    void entryClicks();
    void scalesWithTheWindow();
    void fontsScaleWithTheWindow();
    void busyLookShows_data();
    void busyLookShows();
    void captionShrinksToFit_data();
    void captionShrinksToFit();
};

void TestControls::colourValues() {
    QCOMPARE(VbColor::toQColor(VbColor::Red), QColor(255, 0, 0));
    QCOMPARE(VbColor::toQColor(VbColor::LightGreen), QColor(0x80, 0xFF, 0x80));
    QCOMPARE(VbColor::toQColor(VbColor::LightYellow), QColor(0xFF, 0xFF, 0xC0));
    QPalette palette;
    palette.setColor(QPalette::Button, QColor(1, 2, 3));
    QCOMPARE(VbColor::toQColor(VbColor::ButtonFace, palette), QColor(1, 2, 3));
}

void TestControls::captionStaysReadable_data() {
    QTest::addColumn<quint32>("back");
    QTest::addColumn<QColor>("text");
    QTest::newRow("black face") << VbColor::Black << QColor(Qt::white);
    QTest::newRow("red face") << VbColor::Red << QColor(Qt::white);
    QTest::newRow("light green") << VbColor::LightGreen << QColor(Qt::black);
    QTest::newRow("button face") << VbColor::ButtonFace << QColor(Qt::black);
}

void TestControls::captionStaysReadable() {
    QFETCH(quint32, back);
    QFETCH(QColor, text);
    SSCommand button(QStringLiteral("SYNC NOW"));
    // A dark face first, so a later light one must turn the text dark again.
    button.setBackColor(VbColor::Black);
    button.setBackColor(back);
    QCOMPARE(button.backColor(), back);
    QCOMPARE(button.palette().color(QPalette::ButtonText), text);
}

void TestControls::entryColours() {
    MList list;
    list.addEntry(QStringLiteral("FAILED"));
    list.addEntry(QStringLiteral("ok"));
    list.setEntryColor(0, VbColor::Red);
    list.setEntryColor(7, VbColor::Red); // no such entry: nothing happens
    QVERIFY(list.hasEntryColor(0));
    QVERIFY(!list.hasEntryColor(1));
    QCOMPARE(list.entryColor(0), VbColor::Red);
    QCOMPARE(list.item(0)->foreground().color(), QColor(255, 0, 0));
    QCOMPARE(list.entryText(5), QString());
}

void TestControls::panelClickAndCaption() {
    SSPanel panel(QStringLiteral("Network Synchronization"));
    panel.resize(200, 50);
    QSignalSpy clicks(&panel, &SSPanel::clicked);
    QTest::mouseClick(&panel, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseClick(&panel, Qt::RightButton, {}, QPoint(10, 10));
    QCOMPARE(clicks.count(), 1);
    panel.setCaption(QStringLiteral("Settings not saved"));
    QCOMPARE(panel.caption(), QStringLiteral("Settings not saved"));
    panel.setBackColor(VbColor::LightGreen);
    QCOMPARE(panel.backColor(), VbColor::LightGreen);
    QCOMPARE(panel.palette().color(QPalette::Window), QColor(0x80, 0xFF, 0x80));
}

void TestControls::buttonHoverAndBusyLook() {
    SSCommand button(QStringLiteral("END"));
    QSignalSpy entered(&button, &SSCommand::pointerEntered);
    QSignalSpy left(&button, &SSCommand::pointerLeft);
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(&button, &enter);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&button, &leave);
    QCOMPARE(entered.count(), 1);
    QCOMPARE(left.count(), 1);
    // A system colour comes from the style, not from the red painted before it.
    button.setBackColor(VbColor::Red);
    button.setBackColor(VbColor::ButtonFace);
    QCOMPARE(button.palette().color(QPalette::Button), QApplication::palette(&button).color(QPalette::Button));
    button.setBusyLook(true);
    QVERIFY(button.busyLook() && button.isDown());
    button.setBusyLook(false);
    QVERIFY(!button.isDown());
}

void TestControls::entryClicks() {
    MList list;
    list.addEntry(QStringLiteral("\\\\PC1"));
    list.addEntry(QStringLiteral("\\\\PC2"));
    QCOMPARE(list.listIndex(), -1);
    QSignalSpy clicks(&list, &MList::entryClicked);
    list.show();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.item(1)).center());
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.at(0).at(0).toInt(), 1);
    QCOMPARE(list.listIndex(), 1);
    // A click below the last entry leaves no entry clicked.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(5, list.viewport()->height() - 2));
    QCOMPARE(clicks.count(), 1);
}

void TestControls::scalesWithTheWindow() {
    QWidget form;
    ActiveResize resize(&form, QSize(12000, 9000));
    auto* child = new QWidget(&form);
    resize.place(child, 1500, 3000, 1500, 750);
    const QRect design = child->geometry();
    QCOMPARE(design.width(), twipsToPixels(1500, child));
    form.show(); // a hidden window receives its resize events only when shown
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.resize(resize.designPixels() * 2);
    QCOMPARE(child->geometry().width(), design.width() * 2);
    QCOMPARE(child->geometry().left(), design.left() * 2);
    form.resize(resize.designPixels());
    QCOMPARE(child->geometry(), design);
}

void TestControls::fontsScaleWithTheWindow() {
    QWidget form;
    ActiveResize resize(&form, QSize(3000, 1500));
    auto* label = new QLabel(QStringLiteral("x"), &form);
    QFont font = label->font();
    font.setPointSize(10);
    label->setFont(font); // before place(), which records the design size
    resize.place(label, 1500, 750, 750, 300);
    form.show();
    form.resize(resize.designPixels() * 2);
    QCOMPARE(label->font().pointSizeF(), 20.0);
    form.resize(resize.designPixels());
    QCOMPARE(label->font().pointSizeF(), 10.0);
}

void TestControls::busyLookShows_data() {
    QTest::addColumn<quint32>("back");
    QTest::newRow("black, as SYNC NOW rests") << VbColor::Black;
    QTest::newRow("button face, as under the pointer") << VbColor::ButtonFace;
}

void TestControls::busyLookShows() {
    QFETCH(quint32, back);
    SSCommand button(QStringLiteral("SYNC NOW"));
    button.setBackColor(back);
    button.resize(210, 72);
    // A point of the face beside the caption.
    const QPoint face(14, 36);
    const QRgb idle = button.grab().toImage().pixel(face);
    button.setBusyLook(true);
    const QRgb busy = button.grab().toImage().pixel(face);
    QVERIFY2(colourDistance(idle, busy) > 90,
             qPrintable(QStringLiteral("%1 against %2").arg(idle, 0, 16).arg(busy, 0, 16)));
    button.setBusyLook(false);
    QCOMPARE(button.grab().toImage().pixel(face), idle);
}

void TestControls::captionShrinksToFit_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("shrinks");
    QTest::newRow("date after an Internet sync") << "Wednesday 12/09/2026" << true;
    QTest::newRow("long weekday") << "Donnerstag 10.12.2026" << true;
    QTest::newRow("clock date") << "12/09/2026" << false;
    // The status line: a reason of four lines and more is drawn smaller, whole.
    QTest::newRow("status line: a remembered host's failure")
        << "Clock not set: NTS key exchange refused: the server's certificate is not from a trusted authority "
           "(h.example "
           "is remembered as offering NTS; to forget it, delete its line in /home/someone/.local/share/horavane/"
           "drive_c/Horavane/NtsHosts.txt)"
        << true;
}

void TestControls::captionShrinksToFit() {
    QFETCH(QString, text);
    QFETCH(bool, shrinks);
    if (QString::fromLatin1(QTest::currentDataTag()).startsWith(QLatin1String("status line"))) {
        SSPanel status(text);
        status.setFont(QFont(status.font().family(), 14, QFont::Bold));
        status.resize(473, 73); // its design rectangle at 96 dpi
        status.setCaptionAsToolTip(true);
        QCOMPARE(status.toolTip(), text);
        QCOMPARE(status.shownFont().pointSizeF() < 14, shrinks);
        const QRect room = status.contentsRect().adjusted(4, 2, -4, -2);
        const int flags = Qt::AlignCenter | Qt::TextWordWrap;
        QVERIFY(QFontMetrics(status.shownFont()).boundingRect(room, flags, text).height() <= room.height());
        return;
    }
    QWidget panel;
    panel.resize(240, 60);
    auto* label = new FitLabel(text, &panel);
    label->setAlignment(Qt::AlignCenter);
    QFont big = label->font();
    big.setPointSize(14);
    big.setBold(true);
    label->setFont(big);
    label->setGeometry(8, 8, 217, 45); // the date label's design rectangle at 96 dpi
    QCOMPARE(label->shownFont().pointSizeF() < 14, shrinks);
    QCOMPARE(label->font().pointSize(), 14); // the label keeps its face; only the drawing is smaller
    // Every column of the text is inside the label, with room to spare at both ends.
    const QPair<int, int> ink = inkColumns(label->grab().toImage());
    QVERIFY(ink.first > 0);
    QVERIFY(ink.second < label->width() - 1);
    QVERIFY(ink.second - ink.first > label->width() / 3);
}

QTEST_MAIN(TestControls)
#include "test_controls.moc"
