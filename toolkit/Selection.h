#pragma once

class QComboBox;

// Index of the entry chosen in a list, -1 when none is.
//
// A combo box with an edit field keeps its old index while the user types: the text on show is
// then no entry at all, whatever the index says. So for such a box an entry counts as chosen only
// while the text shown is that entry's text. A list without an edit field gives its index.
int SelectedItemIndex(const QComboBox* box);
