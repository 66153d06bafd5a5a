// Creates the windows on first reference.
#include "app/forms.h"

#include "app/main_window.h"
#include "dialogs/log_viewer.h"
#include "dialogs/schedule_dialog.h"
#include "dialogs/server_dialog.h"
#include "net_engine/worker_window.h"
#include "time_protocol/sync_engine.h"
#include "time_protocol/vespline.h"

#include <utility>

namespace {
template <typename Form> Form& load(QPointer<Form>& slot, Forms& forms) {
    if (!slot)
        slot = new Form(forms);
    return *slot;
}
} // namespace

Forms::Forms(Platform& platform, QObject* parent)
    : QObject(parent), m_platform(platform), m_syncEngine(std::make_unique<SyncEngine>(platform)) {}

Forms::~Forms() {
    // A window unloaded just before still refers to these forms and the engine: it goes before them.
    for (const QPointer<QWidget>& form : std::as_const(m_discarded))
        delete form.data();
    // The dialogs first: they may still refer to the main window.
    delete m_tarnwick2.data();
    delete m_tarnwick3.data();
    delete m_tarnwick4.data();
    delete m_vespline.data();
    delete m_tarnwick.data();
    delete m_tarnwick1.data();
}

Tarnwick1& Forms::tarnwick1() {
    return load(m_tarnwick1, *this);
}
Tarnwick& Forms::tarnwick() {
    return load(m_tarnwick, *this);
}
Vespline& Forms::vespline() {
    return load(m_vespline, *this);
}
Tarnwick2& Forms::tarnwick2() {
    return load(m_tarnwick2, *this);
}
Tarnwick3& Forms::tarnwick3() {
    return load(m_tarnwick3, *this);
}
Tarnwick4& Forms::tarnwick4() {
    return load(m_tarnwick4, *this);
}

void Forms::unload(QWidget* form) {
    if (!form)
        return;
    if (form == m_tarnwick2)
        m_tarnwick2.clear();
    else if (form == m_tarnwick3)
        m_tarnwick3.clear();
    else if (form == m_tarnwick4)
        m_tarnwick4.clear();
    else if (form == m_vespline)
        m_vespline.clear();
    else if (form == m_tarnwick)
        m_tarnwick.clear();
    else if (form == m_tarnwick1)
        m_tarnwick1.clear();
    form->hide();
    form->deleteLater();
    m_discarded.removeAll(nullptr);
    m_discarded << form;
}
