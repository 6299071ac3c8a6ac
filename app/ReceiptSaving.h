#pragma once

class QWidget;
class TSaveDialog;

namespace cto {

class ByteStream;
struct Outcome;

// Shows the verdict, then offers to save the stored response (read from
// `stored`) under a name of the user's choice and copies it there. Failures
// reach the caller.
void reportOutcome(QWidget* parent, TSaveDialog& saveDialog, const Outcome& outcome, ByteStream& stored);

} // namespace cto
