// The date and time settings of each desktop, in the order they are tried.
#include "platform/date_time_panel.h"

#include <QList>

namespace {
struct Desktop {
    QStringList names; // as XDG_CURRENT_DESKTOP names them
    QList<QStringList> panels;
};

const QList<Desktop>& desktops() {
    static const QList<Desktop> all = {
        {{QStringLiteral("GNOME"), QStringLiteral("Unity"), QStringLiteral("Budgie")},
         {{QStringLiteral("gnome-control-center"), QStringLiteral("datetime")}}},
        {{QStringLiteral("KDE")},
         {{QStringLiteral("systemsettings"), QStringLiteral("kcm_clock")},
          {QStringLiteral("kcmshell6"), QStringLiteral("kcm_clock")},
          {QStringLiteral("kcmshell5"), QStringLiteral("clock")}}},
        {{QStringLiteral("X-Cinnamon"), QStringLiteral("Cinnamon")},
         {{QStringLiteral("cinnamon-settings"), QStringLiteral("calendar")}}},
        {{QStringLiteral("MATE")}, {{QStringLiteral("mate-time-admin")}, {QStringLiteral("time-admin")}}},
        // Xfce ships no panel of its own: the system tools' one is what its menu offers.
        {{QStringLiteral("XFCE")}, {{QStringLiteral("time-admin")}}},
        {{QStringLiteral("LXQt")}, {{QStringLiteral("lxqt-admin-time")}}},
    };
    return all;
}
} // namespace

namespace DateTimePanel {
QStringList choose(const QString& currentDesktops, const std::function<bool(const QString&)>& installed) {
    QList<const Desktop*> order;
    for (const QString& name : currentDesktops.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        for (const Desktop& d : desktops()) {
            if (d.names.contains(name.trimmed(), Qt::CaseInsensitive) && !order.contains(&d))
                order << &d;
        }
    }
    for (const Desktop& d : desktops()) {
        if (!order.contains(&d))
            order << &d;
    }
    for (const Desktop* d : order) {
        for (const QStringList& panel : d->panels) {
            if (installed(panel.constFirst()))
                return panel;
        }
    }
    return {};
}
} // namespace DateTimePanel
