// The "net view" builtin: the computers that the Avahi daemon knows, in the "\\NAME" line form.
#pragma once

#include <QList>
#include <QString>

namespace NetView {
struct Computer {
    QString name;   // what "net time" is given: fits the 23-character entry with its "\\"
    QString remark; // the full host name that Avahi resolved
};

// About this long for the computers to be announced; at most this long for each host name, and for those still
// unresolved when the browse ends: on an ordinary network that takes moments, and a very large or slow one is
// still listed whole within the time the worker window waits for the command (and before its 10-s alarm).
constexpr int kBrowseMs = 1500;
constexpr int kResolveMs = 700;
constexpr int kAllResolvesMs = 7000;
// Resolves asked at once: enough to keep Avahi busy, few enough for the bus's limit on pending calls.
constexpr int kResolvesInFlight = 100;
// Services beyond this many are not looked at, so a flood of announcements cannot exhaust memory.
constexpr int kMaxServices = 50000;

// The heading, a rule line, one "\\NAME" line per computer (name padded, then the remark) and the end line.
QString format(const QList<Computer>& computers);
// The message when the list cannot be had, with the reason.
QString unavailable(const QString& why);
// The computer that a resolved service names, from Avahi's host name and address only. Its name is the host
// name without ".local" when that is one label, else the whole host name, else the IPv4 address: the first that
// fits the entry with its "\\". Not a computer (empty name) when the host name is no host name or nothing fits.
Computer computerFromResolve(const QString& host, const QString& address);

// Asks Avahi on the system bus; false (and why) when it cannot be asked.
bool browse(QList<Computer>* computers, QString* why);
// The whole command's output.
QString run();
} // namespace NetView
