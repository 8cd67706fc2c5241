#pragma once

class QGroupBox;

// A radio group is a QGroupBox whose radio buttons are named <GroupName>_0, <GroupName>_1, ... in
// item order. These helpers read and set the item index the way the form library's radio group did.

// Index of the checked item, -1 when none is checked.
int RadioGroupItemIndex(const QGroupBox* group);

// Checks item index; -1 (or any index without an item) unchecks every item.
void SetRadioGroupItemIndex(QGroupBox* group, int index);
