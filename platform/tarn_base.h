// The two public variables that the windows share: the Time Protocol result and the connection check's outcome.
#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

// Who started a synchronization: only a person may be asked questions or make a large step.
enum class Starter { Person, Timer };

class TarnBase : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // "WAIT" while a Time Protocol synchronization runs, then "SUCESS" or "FAILED".
    const QString& SyncResult() const { return m_syncResult; }
    void setSyncResult(const QString& value) {
        m_syncResult = value;
        Q_EMIT syncResultChanged();
    }
    // The empty text before a check; true or false after it.
    const QVariant& InternetState() const { return m_internetState; }
    void setInternetState(const QVariant& value) {
        m_internetState = value;
        Q_EMIT internetStateChanged();
    }

Q_SIGNALS:
    void syncResultChanged();
    void internetStateChanged();

private:
    QString m_syncResult;
    QVariant m_internetState = QString();
};
