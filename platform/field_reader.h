// The free-format field reader that every file of the program is read with.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QIODevice;

// Reads comma- and line-separated fields: blanks before a field are skipped; a field that begins with a double
// quote runs to the next double quote and the rest up to the comma or line end is skipped; any other field runs
// to the next comma or line end, trailing blanks dropped. An empty line is one empty field. CR LF, LF and a lone
// CR end a line.
class FieldReader {
public:
    // Bytes of one field beyond this are read past and dropped, so a huge or binary file cannot exhaust memory.
    static constexpr int kMaxFieldBytes = 64 * 1024;

    // With `maxBytes` no more than the device's first bytes are read.
    explicit FieldReader(QIODevice& in, int maxFieldBytes = kMaxFieldBytes, qint64 maxBytes = -1);
    // Reads bytes already in memory: a file's head read at once, or a fuzzer's input.
    explicit FieldReader(const QByteArray& bytes, int maxFieldBytes = kMaxFieldBytes);

    // True when no byte is left; tested before each read.
    bool atEnd();
    // The next field, decoded from the locale's encoding (UTF-8).
    QString next();
    // True when the last field opened with a double quote that never closed: it ran to the end of the file.
    bool lastFieldUnterminated() const { return m_unterminated; }
    // The remaining fields in order, at most `maxFields` (all with -1). `unterminated` tells whether the last of
    // them opened a double quote that never closed.
    QStringList fields(int maxFields = -1, bool* unterminated = nullptr);

private:
    int peek();
    int get();
    void fill();
    void consumeLineEnd(int c);

    QIODevice* m_in = nullptr; // none when reading from memory
    int m_max;
    qint64 m_budget = -1;
    QByteArray m_buf;
    int m_pos = 0;
    bool m_eof = false;
    bool m_unterminated = false;
};
