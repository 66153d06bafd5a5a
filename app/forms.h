// The program's windows by name: each is created on first reference, so windows reach each other as the program
// describes them (forms.tarnwick().Text4, forms.tarnwick1().Label1).
#pragma once

#include "platform/platform.h"
#include "platform/tarn_base.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <memory>

class Tarnwick1;
class Tarnwick;
class Vespline;
class Tarnwick2;
class Tarnwick3;
class Tarnwick4;
class QWidget;
class SyncEngine;

class Forms : public QObject {
    Q_OBJECT
public:
    explicit Forms(Platform& platform, QObject* parent = nullptr);
    ~Forms() override;

    Platform& platform() { return m_platform; }
    TarnBase& base() { return m_base; }
    // The Internet synchronization with its NTS keys and cookies and the pacing of each server, kept while the
    // program runs though the Time Protocol window may be discarded.
    SyncEngine& syncEngine() { return *m_syncEngine; }

    Tarnwick1& tarnwick1(); // main window
    Tarnwick& tarnwick();   // hidden worker: command runner, result step, discovery
    Vespline& vespline();   // Time Protocol window
    Tarnwick2& tarnwick2(); // server selection
    Tarnwick3& tarnwick3(); // schedule
    Tarnwick4& tarnwick4(); // log viewer

    bool isTarnwick1Loaded() const { return !m_tarnwick1.isNull(); }
    bool isTarnwickLoaded() const { return !m_tarnwick.isNull(); }
    bool isVesplineLoaded() const { return !m_vespline.isNull(); }
    bool isTarnwick2Loaded() const { return !m_tarnwick2.isNull(); }
    bool isTarnwick3Loaded() const { return !m_tarnwick3.isNull(); }
    bool isTarnwick4Loaded() const { return !m_tarnwick4.isNull(); }

    // Discards a window: the next reference builds it afresh.
    void unload(QWidget* form);

private:
    Platform& m_platform;
    TarnBase m_base;
    std::unique_ptr<SyncEngine> m_syncEngine;
    QPointer<Tarnwick1> m_tarnwick1;
    QPointer<Tarnwick> m_tarnwick;
    QPointer<Vespline> m_vespline;
    QPointer<Tarnwick2> m_tarnwick2;
    QPointer<Tarnwick3> m_tarnwick3;
    QPointer<Tarnwick4> m_tarnwick4;
    QList<QPointer<QWidget>> m_discarded; // unloaded, their deletion still to come
};
