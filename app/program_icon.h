// The program's picture (a clock face), drawn from its SVG for the tray, the window and the title banner.
#pragma once

class QIcon;
class QPixmap;

QIcon programIcon();
QPixmap programPicture(int pixels);
