// The two builtins' line syntax and the messages for everything else.
#include "cmd/command_line.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QStringList>

namespace {
const QString kTimeUsage =
    QStringLiteral("The syntax of this command is:\r\n\r\nNET TIME \\\\computername /SET /YES\r\n");

// Messages never begin with a double quote: the status file is read with the field reader, which would take
// such a line for a quoted field and drop what follows the closing quote.

// A name as it can be shown safely: control characters as "?", at most 60 characters.
QString shown(const QString& text) {
    QString out;
    for (const QChar c : text.left(60))
        out += (c.unicode() < 0x20 || c.unicode() == 0x7F) ? QLatin1Char('?') : c;
    if (text.size() > 60)
        out += QStringLiteral("...");
    return out;
}

CommandLine syntaxError(const QString& target, const QString& why, const QString& usage) {
    return {CommandLine::Kind::SyntaxError, {}, target, why + QStringLiteral("\r\n\r\n") + usage};
}

bool isLabel(const QString& label) {
    if (label.isEmpty() || label.size() > 63 || label.startsWith(QLatin1Char('-')))
        return false;
    for (const QChar c : label) {
        const char16_t u = c.unicode();
        const bool ok =
            (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' || u == '_';
        if (!ok)
            return false;
    }
    return true;
}

QString whyNotAHost(const QString& name) {
    if (!name.startsWith(QLatin1String("\\\\")))
        return QStringLiteral("The computer name must begin with \\\\.");
    for (const QChar c : name) {
        if (c.isSpace())
            return QStringLiteral("The computer name must not contain blanks or line breaks.");
        if (c.unicode() > 0x7E || c.unicode() < 0x20)
            return QStringLiteral("The computer name may hold only ASCII letters, digits, \"-\", \"_\" and \".\".");
    }
    if (name.size() - 2 > CommandLines::kMaxHostLength)
        return QStringLiteral("The computer name is too long.");
    return QStringLiteral("The computer name is not a host name or an IP address.");
}
} // namespace

namespace CommandLines {
bool isHostName(const QString& host) {
    if (host.isEmpty() || host.size() > kMaxHostLength)
        return false;
    if (host.contains(QLatin1Char(':'))) {
        static const QRegularExpression ipv6(QStringLiteral("^[0-9A-Fa-f:.]+$"));
        return ipv6.match(host).hasMatch() && QHostAddress(host).protocol() == QAbstractSocket::IPv6Protocol;
    }
    QString name = host;
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1); // a fully qualified name may end with the root's dot
    const QStringList labels = name.split(QLatin1Char('.'));
    for (const QString& label : labels) {
        if (!isLabel(label))
            return false;
    }
    return true;
}

CommandLine parse(const QString& line) {
    if (line.trimmed().isEmpty())
        return {};
    // The redirection is whatever follows the last ">", so a ">" inside a name stays in the name and is refused.
    QString command = line;
    QString target;
    const int gt = line.lastIndexOf(QLatin1Char('>'));
    if (gt >= 0) {
        command = line.left(gt);
        target = line.mid(gt + 1).trimmed();
        static const QRegularExpression oneWord(QStringLiteral("^[^\\s\"<>|&%]+$"));
        if (!oneWord.match(target).hasMatch())
            return syntaxError({},
                               QStringLiteral("The syntax of the command is incorrect: the output file name \"") +
                                   shown(target) + QStringLiteral("\" is not valid."),
                               {});
    }

    static const QRegularExpression head(QStringLiteral("^[ \\t]*(\\S+)(?:[ \\t]+(\\S+))?"));
    const QRegularExpressionMatch words = head.match(command);
    const QString first = words.captured(1);
    const QString second = words.captured(2);
    if (first.compare(QLatin1String("net"), Qt::CaseInsensitive) != 0 ||
        (second.compare(QLatin1String("time"), Qt::CaseInsensitive) != 0 &&
         second.compare(QLatin1String("view"), Qt::CaseInsensitive) != 0)) {
        const QString name =
            first.compare(QLatin1String("net"), Qt::CaseInsensitive) == 0 ? first + QLatin1Char(' ') + second : first;
        return {CommandLine::Kind::NotRecognized,
                {},
                target,
                QLatin1Char('\'') + shown(name.isEmpty() ? command.trimmed() : name) +
                    QStringLiteral("' is not recognized as a command of this interpreter.\r\n"
                                   "It knows only NET TIME \\\\computername /SET /YES and NET VIEW.\r\n")};
    }
    const QString rest = command.mid(words.capturedEnd(0));
    if (second.compare(QLatin1String("view"), Qt::CaseInsensitive) == 0) {
        if (!rest.trimmed().isEmpty())
            return syntaxError(target, QStringLiteral("NET VIEW takes no arguments here."),
                               QStringLiteral("The syntax of this command is:\r\n\r\nNET VIEW\r\n"));
        return {CommandLine::Kind::NetView, {}, target, {}};
    }

    static const QRegularExpression switches(QStringLiteral("^(.*?)[ \\t]+/set[ \\t]+/yes[ \\t]*$"),
                                             QRegularExpression::CaseInsensitiveOption |
                                                 QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = switches.match(rest);
    if (!m.hasMatch())
        return syntaxError(target, QStringLiteral("NET TIME needs a computer name followed by /SET /YES."), kTimeUsage);
    // Blanks around the name separate it from the words beside it; a blank inside it is an error.
    const QString name = m.captured(1).trimmed();
    const QString host = name.mid(2);
    if (!name.startsWith(QLatin1String("\\\\")) || !isHostName(host))
        return syntaxError(target,
                           QStringLiteral("The computer name \"") + shown(name) + QStringLiteral("\" is not valid. ") +
                               whyNotAHost(name),
                           kTimeUsage);
    return {CommandLine::Kind::NetTime, host, target, {}};
}

QStringList splitLines(const QByteArray& file) {
    QStringList lines;
    for (QByteArray line : file.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        lines << QString::fromUtf8(line);
    }
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}
} // namespace CommandLines
