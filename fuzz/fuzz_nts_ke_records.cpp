// Feeds arbitrary key exchange answers to the record reader, cut into pieces as TLS may deliver them: the
// outcome never depends on the cutting, what it keeps stays within its bounds, and every failure says why.
#include "time_protocol/nts_ke.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const int piece = 1 + data[0] % 64;
    const QByteArray stream(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    const NtsKe::Reader whole = NtsKe::read(stream);
    NtsKe::Reader pieces;
    for (int at = 0; at < stream.size() && pieces.state() == NtsKe::Reader::More; at += piece)
        pieces.feed(stream.mid(at, piece));
    pieces.finish();
    if (whole.state() == NtsKe::Reader::More || pieces.state() == NtsKe::Reader::More)
        __builtin_trap();
    if ((whole.state() == NtsKe::Reader::Done) != whole.why().isEmpty())
        __builtin_trap();
    if (whole.state() != pieces.state() || whole.answer().cookies != pieces.answer().cookies ||
        whole.answer().server != pieces.answer().server || whole.answer().port != pieces.answer().port)
        __builtin_trap();
    if (whole.answer().cookies.size() > NtsKe::kMaxCookies)
        __builtin_trap();
    for (const QByteArray& cookie : whole.answer().cookies)
        if (cookie.isEmpty() || cookie.size() > NtsKe::kMaxCookieSize)
            __builtin_trap();
    if (whole.state() == NtsKe::Reader::Done && whole.answer().cookies.isEmpty())
        __builtin_trap();
    return 0;
}
