// The outputs' half of the tap, for the replaying half: how the rules' outputs are shown while
// a replay plays. Nothing above the console sees this.
#pragma once

#include "console/inputs.h"

// From here on the outputs go where `show` says (nullptr, or a nullptr in it: the terminal's
// own), and nothing is held back.
void show_outputs_through(const ReplayShow* show);
// While held (a seek on its way), every draw is held back but the last, which goes out when the
// hold ends, and no bell rings.
void hold_outputs(bool held);
