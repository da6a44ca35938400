#pragma once
// Turning the texts of an element record into values a control can hold. The record comes
// from a file anyone can edit and from the network, so a text may be empty, not a number,
// far out of range or longer than any integer type: each is mapped to a value the control
// accepts instead of crashing or wrapping.

#include <QString>

namespace stored {

// Index of a drop-down list with itemCount items. A whole number from 0 to itemCount-1
// selects that item; anything else (negative, past the last item, empty, not a number,
// beyond 16 bits) gives -1, "no selection": an item the element never reported must not
// appear chosen.
int listIndex(const QString &text, int itemCount);

// Position of a scroll bar (or a check box as 0..1). A number is rounded to a whole
// position and clamped to minimum..maximum, so a number of any length lands on the
// nearer end; an empty or non-numeric text gives the minimum, the control's resting
// position.
int rangedValue(const QString &text, int minimum, int maximum);

// The same for a number already taken from the text's leading digits.
int rangedValue(double number, int minimum, int maximum);

} // namespace stored
