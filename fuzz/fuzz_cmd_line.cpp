// Feeds arbitrary command files to the interpreter's line parser: whatever the bytes, a line is one of the two
// builtins with a plain host name, or it runs nothing.
#include "cmd/command_line.h"
#include "time_protocol/sntp.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const QString& line : CommandLines::splitLines(bytes)) {
        const CommandLine parsed = CommandLines::parse(line);
        if (parsed.kind == CommandLine::Kind::NetTime && !CommandLines::isHostName(parsed.host))
            __builtin_trap();
        // A line break never reaches a builtin's redirection.
        if (parsed.target.contains(QLatin1Char('\n')) || parsed.target.contains(QLatin1Char('\r')))
            __builtin_trap();
    }
    // The same bytes as an SNTP reply to the request whose nonce they echo: parsed or refused, never more.
    quint64 nonce = 0;
    for (int i = 24; i < 32 && i < bytes.size(); ++i)
        nonce = (nonce << 8) | static_cast<unsigned char>(bytes[i]);
    const Sntp::Reply reply = Sntp::parse(bytes, nonce);
    if (reply.ok && (bytes.size() < Sntp::kPacketSize || !reply.utc.isValid()))
        __builtin_trap();
    return 0;
}
