// Where a grabbed widget shows text: the columns that hold a pixel clearly unlike its top-left corner's.
#pragma once

#include <QImage>
#include <QPair>

inline int colourDistance(QRgb a, QRgb b) {
    return qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b)) + qAbs(qBlue(a) - qBlue(b));
}

// The first and last such columns, or {-1, -1} when there is none.
inline QPair<int, int> inkColumns(const QImage& image) {
    const QRgb background = image.pixel(0, 0);
    int first = -1;
    int last = -1;
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            if (colourDistance(image.pixel(x, y), background) > 120) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
        }
    }
    return {first, last};
}
