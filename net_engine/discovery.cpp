// Discovery of the computers of the local network through "net view".
#include "net_engine/worker_window.h"

void Tarnwick::Command3_Click() {}
void Tarnwick::Timer4_Timer() {}
void Tarnwick::List1_Click() {}
