#pragma once

class QString;
class QWidget;
class TSaveDialog;

namespace cto {

class ByteStream;
struct Outcome;

// Shows the verdict, then offers to save the stored response (read from
// `stored`) under a name of the user's choice and copies it there. A copy
// that cannot be written is said why, with where the response is already
// stored, and the save dialog comes again until a copy is written or the
// user cancels.
void reportOutcome(QWidget* parent, TSaveDialog& saveDialog, const Outcome& outcome, ByteStream& stored);

} // namespace cto
