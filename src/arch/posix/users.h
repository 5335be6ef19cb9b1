// The users logged in, from the user-accounting database.
#pragma once
#include "module.h"

// Serialises this module's walks of the database, whose read position is one per process.
LUMVIK_EXPORT PyMutex utxent_lock;

LUMVIK_EXPORT PyObject *lumvik_users(PyObject *self, PyObject *args);
