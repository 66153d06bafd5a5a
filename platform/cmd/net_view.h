// The "net view" builtin: the computers that the Avahi daemon knows, in the "\\NAME" line form.
#pragma once

#include <QList>
#include <QString>

namespace NetView {
struct Computer {
    QString name;   // a host name that "net time" can ask
    QString remark; // the service's own name
};

// About this long for the computers to be announced, and at most this long for their host names.
constexpr int kBrowseMs = 1500;
constexpr int kResolveMs = 700;

// The heading, a rule line, one "\\NAME" line per computer (name padded, then the remark) and the end line.
QString format(const QList<Computer>& computers);
// The message when the list cannot be had, with the reason.
QString unavailable(const QString& why);
// The name a service gives when its host name could not be resolved: a workstation's name without its
// "[hardware address]" suffix, with ".local"; empty when that is no host name.
QString nameFromService(const QString& serviceName);

// Asks Avahi on the system bus; false (and why) when it cannot be asked.
bool browse(QList<Computer>* computers, QString* why);
// The whole command's output.
QString run();
} // namespace NetView
