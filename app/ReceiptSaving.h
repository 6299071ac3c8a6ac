#pragma once

class QString;
class QWidget;
class TSaveDialog;

namespace cto {

struct Outcome;

// Shows the verdict, then offers to save the normalised response under a name
// of the user's choice and writes it there. A copy that cannot be written is
// said why, with where the response is already stored (`storedResponse`),
// and the save dialog comes again until a copy is written or the user
// cancels.
void reportOutcome(QWidget* parent, TSaveDialog& saveDialog, const Outcome& outcome,
                   const QString& storedResponse);

} // namespace cto
