// Renders the program's SVG picture at the sizes the desktop asks for.
#include "app/program_icon.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

static void initIconResources() {
    static bool done = false;
    if (!done) {
        Q_INIT_RESOURCE(icons);
        done = true;
    }
}

QPixmap programPicture(int pixels) {
    initIconResources();
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/icons/horavane.svg"));
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

QIcon programIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128})
        icon.addPixmap(programPicture(size));
    return icon;
}
