// SYNC NOW, the connection check and the pause.
#include "app/main_window.h"

void Tarnwick1::SSCommand3_Click() {}
void Tarnwick1::CheckInternet() {}
void Tarnwick1::Pause(double seconds) { Q_UNUSED(seconds); }
bool Tarnwick1::isBusy() const { return m_syncWaiting; }
