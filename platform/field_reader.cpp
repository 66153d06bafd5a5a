// The free-format field reader.
#include "platform/field_reader.h"

#include <QIODevice>
#include <algorithm>

namespace {
bool isBlank(int c) {
    return c == ' ' || c == '\t';
}
bool isLineEnd(int c) {
    return c == '\r' || c == '\n';
}
} // namespace

FieldReader::FieldReader(QIODevice& in, int maxFieldBytes, qint64 maxBytes)
    : m_in(&in), m_max(maxFieldBytes), m_budget(maxBytes) {}

FieldReader::FieldReader(const QByteArray& bytes, int maxFieldBytes) : m_max(maxFieldBytes), m_buf(bytes) {}

void FieldReader::fill() {
    if (m_pos < m_buf.size() || m_eof)
        return;
    if (!m_in) {
        m_eof = true;
        return;
    }
    const qint64 chunk = 64 * 1024;
    m_buf = m_in->read(m_budget < 0 ? chunk : std::min(chunk, m_budget));
    if (m_budget >= 0)
        m_budget -= m_buf.size();
    m_pos = 0;
    if (m_buf.isEmpty())
        m_eof = true;
}

int FieldReader::peek() {
    fill();
    return m_pos < m_buf.size() ? static_cast<unsigned char>(m_buf.at(m_pos)) : -1;
}

int FieldReader::get() {
    const int c = peek();
    if (c >= 0)
        ++m_pos;
    return c;
}

bool FieldReader::atEnd() {
    return peek() < 0;
}

void FieldReader::consumeLineEnd(int c) {
    if (c == '\r' && peek() == '\n')
        get();
}

QString FieldReader::next() {
    QByteArray field;
    auto keep = [&](int c) {
        if (field.size() < m_max)
            field.append(static_cast<char>(c));
    };
    while (isBlank(peek()))
        get();
    int c = peek();
    m_unterminated = false;
    if (c == '"') {
        get();
        while ((c = get()) >= 0 && c != '"')
            keep(c);
        m_unterminated = c < 0;
        // Whatever follows the closing quote up to the comma or line end is skipped.
        while ((c = get()) >= 0 && c != ',' && !isLineEnd(c)) {
        }
        consumeLineEnd(c);
        return QString::fromUtf8(field);
    }
    while ((c = get()) >= 0 && c != ',' && !isLineEnd(c))
        keep(c);
    consumeLineEnd(c);
    while (!field.isEmpty() && isBlank(static_cast<unsigned char>(field.back())))
        field.chop(1);
    return QString::fromUtf8(field);
}

QStringList FieldReader::fields(int maxFields, bool* unterminated) {
    QStringList fields;
    while ((maxFields < 0 || fields.size() < maxFields) && !atEnd())
        fields << next();
    if (unterminated)
        *unterminated = !fields.isEmpty() && m_unterminated;
    return fields;
}
