#pragma once

class QWidget;
class TSaveDialog;

namespace cto {

struct Outcome;

// Shows the verdict, then offers to save the normalised response under a name
// of the user's choice and writes it there. Failures reach the caller.
void reportOutcome(QWidget* parent, TSaveDialog& saveDialog, const Outcome& outcome);

} // namespace cto
