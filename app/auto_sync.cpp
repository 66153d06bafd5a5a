// The clock, the scheduled and the automatic synchronization, and the marker file.
#include "app/main_window.h"

void Tarnwick1::Timer1_Timer() {}
void Tarnwick1::Timer2_Timer() {}
void Tarnwick1::SSCheck1_Click() {}
void Tarnwick1::SSCommand4_Click() {}
