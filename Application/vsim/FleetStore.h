#pragma once

#include "platform/ChangeStore.h"

// The change log and the table of handsets where the SIM records are: on the records' PostgreSQL server
// when they are shared (RecordStoreAddress()), else on this PC (the log file and handsets.sqlite in
// ChangesDir(), a folder the package gives the operators' group, not the SIM records' own). Gives the
// store of the address at the time of the call; a store is opened once per address and kept.
TChangeStore& FleetStore();

// The programs' notes go to FleetStore() from now on.
void UseFleetStore();
