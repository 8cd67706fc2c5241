#include "Selection.h"

#include <QComboBox>

int SelectedItemIndex(const QComboBox* box) {
    const int index = box->currentIndex();
    if (index < 0 || !box->isEditable()) return index;
    return box->currentText() == box->itemText(index) ? index : -1;
}
