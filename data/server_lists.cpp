// Reads the built-in server lists from the program's resources.
#include "data/server_lists.h"

#include <QFile>
#include <QHash>

// The lists live in a static library, whose resource registration the linker drops unless something calls it.
static void registerResources() {
    Q_INIT_RESOURCE(data);
}

namespace {
QStringList readLines(const QString& resource) {
    static const bool registered = (registerResources(), true);
    Q_UNUSED(registered);
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (!line.isEmpty())
            lines << line;
    }
    return lines;
}
} // namespace

namespace ServerLists {
QStringList timeProtocolServers() {
    return readLines(QStringLiteral(":/data/time_protocol_servers.txt"));
}
QStringList internetServers() {
    return readLines(QStringLiteral(":/data/internet_servers.txt"));
}

QString defaultServer() {
    const QStringList servers = timeProtocolServers();
    return servers.isEmpty() ? QStringLiteral("time.nist.gov") : servers.first();
}

namespace {
struct NtsMark {
    QString host;
    bool offers = false;
    QString operatorName; // hosts that offer NTS only
};

const QList<NtsMark>& ntsMarks() {
    static const QList<NtsMark> marks = [] {
        QList<NtsMark> read;
        for (const QString& line : readLines(QStringLiteral(":/data/nts_hosts.txt"))) {
            const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (fields.size() >= 2 && !line.startsWith(QLatin1Char('#')))
                read.push_back({fields[0].toLower(), fields[1] == QLatin1String("yes"), fields.value(2)});
        }
        return read;
    }();
    return marks;
}

QString hostKey(const QString& host) {
    QString name = host.trimmed().toLower();
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    return name;
}

// The last two labels of a host name ("netnod.se"); empty for an address.
QString domainOf(const QString& host) {
    const QString name = hostKey(host);
    const QStringList labels = name.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    if (labels.size() < 2 || name.contains(QLatin1Char(':')))
        return {};
    bool numeric = false;
    labels.last().toInt(&numeric);
    if (numeric)
        return {};
    return labels[labels.size() - 2] + QLatin1Char('.') + labels.last();
}

const NtsMark* findMark(const QString& host) {
    const QString name = hostKey(host);
    for (const NtsMark& mark : ntsMarks())
        if (mark.host == name)
            return &mark;
    return nullptr;
}
} // namespace

std::optional<bool> offersNts(const QString& host) {
    const NtsMark* mark = findMark(host);
    if (!mark)
        return std::nullopt;
    return mark->offers;
}

QStringList ntsWitnesses(const QString& chosenHost) {
    const NtsMark* chosen = findMark(chosenHost);
    QStringList operators{chosen ? chosen->operatorName : QString()};
    // A host the list does not name may still be one of a listed operator's, by its domain.
    const QString domain = domainOf(chosenHost);
    for (const NtsMark& mark : ntsMarks())
        if (!domain.isEmpty() && domainOf(mark.host) == domain)
            operators << mark.operatorName;
    QStringList witnesses;
    for (const NtsMark& mark : ntsMarks()) {
        if (!mark.offers || mark.operatorName.isEmpty() || operators.contains(mark.operatorName))
            continue;
        operators << mark.operatorName;
        witnesses << mark.host;
        if (witnesses.size() == kWitnessCount)
            break;
    }
    return witnesses;
}

QString internetCheckUrl() {
    const QString url = qEnvironmentVariable("HORAVANE_CHECK_URL");
    if (!url.isEmpty())
        return url;
    const QStringList lines = readLines(QStringLiteral(":/data/check_url.txt"));
    return lines.value(0);
}
} // namespace ServerLists
