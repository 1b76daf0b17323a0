#pragma once
// Opening the current drawing in the CAD program through automation (open_in_cad.cpp).

#include "actions/automation.h"

// The CAD program's application object: replaced by each Open that reaches it, kept for the
// run and let go at exit; the program is never asked to quit.
extern kvx::Dispatch AutoCadApplication;
